// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Keys a focused control answers itself. The player binds its keys (Space, the arrows, Page Up
// and Down) for the whole application; a control reached with Tab claims those it uses, so
// that they act on it while it has the focus and on the player everywhere else.
#pragma once

#include <initializer_list>

class QEvent;

namespace velmaro {

// True (and the event accepted) when `event` is a shortcut override for one of `keys` pressed
// without modifiers.
bool ClaimKeys(QEvent* event, std::initializer_list<int> keys);
// The keys a focused slider moves its thumb with: the arrows, Page Up/Down, Home and End.
bool ClaimSliderKeys(QEvent* event);

}  // namespace velmaro
