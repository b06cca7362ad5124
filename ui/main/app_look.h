// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The application's one look: Qt's Fusion style in the skin's dark colours, so that dialogs,
// message boxes and file choosers sit beside the skinned windows without a light flash, and
// the player's icon on every window.
#pragma once

class QApplication;

namespace velmaro {

// Call once the application object exists and the data folder is known.
void ApplyAppLook(QApplication& app);

}  // namespace velmaro
