// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The room the desktop leaves for windows on the primary screen: its size less the panels and
// docks, which a window sized to the whole screen would be cut by.
#pragma once

#include "app/app_settings.h"

namespace velmaro {

ScreenSize FreeScreenArea();

}  // namespace velmaro
