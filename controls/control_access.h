// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What assistive tools (screen readers, magnifiers) learn of the skinned controls through Qt's
// accessibility interfaces: skin buttons are buttons or check buttons, the slider controls are
// sliders with a value, and the grid rows and the month calendar are tables of named cells.
#pragma once

class QWidget;

namespace velmaro {

// Installs the factory that gives those controls their interfaces. Once is enough; later calls
// do nothing. Interfaces already handed out for a control stay as they were.
void InstallControlAccess();

// What the user moved to with a key, told to a listening screen reader (nothing is sent while
// none listens): the cell now current in a table control, the value a slider now has.
void AnnounceCell(QWidget* table, int row, int column);
void AnnounceValue(QWidget* slider, int value);

}  // namespace velmaro
