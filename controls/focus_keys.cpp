// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/focus_keys.h"

#include <QEvent>
#include <QKeyEvent>
#include <algorithm>

namespace velmaro {

// Keypad arrows count as plain arrows; Shift, Ctrl and Alt keep the application's meaning.
bool ClaimKeys(QEvent* event, std::initializer_list<int> keys) {
    if (event->type() != QEvent::ShortcutOverride) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        return false;
    }
    if (std::find(keys.begin(), keys.end(), key->key()) == keys.end()) {
        return false;
    }
    event->accept();
    return true;
}

bool ClaimSliderKeys(QEvent* event) {
    return ClaimKeys(event, {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp,
                             Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End});
}

}  // namespace velmaro
