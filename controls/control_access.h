// What assistive tools (screen readers, magnifiers) learn of the skinned controls through Qt's
// accessibility interfaces: skin buttons are buttons or check buttons, the slider controls are
// sliders with a value, and the grid rows and the month calendar are tables of named cells.
#pragma once

namespace velmaro {

// Installs the factory that gives those controls their interfaces. Once is enough; later calls
// do nothing. Interfaces already handed out for a control stay as they were.
void InstallControlAccess();

}  // namespace velmaro
