// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The main window for keyboard and screen-reader users: the order in which Tab and Shift+Tab
// reach its controls, and the names those controls are announced by.
#pragma once

namespace velmaro {

class MainWindow;

// Tab then goes through the play panel top to bottom, then the navigator (calendar, hour
// rows, minute rows), then the title buttons, and round again. The navigator's controls are
// named; its cells are named by the time or day they stand for and what was recorded then.
// Called once the window has laid out its controls.
void SetUpFocusChain(MainWindow& window);

}  // namespace velmaro
