// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/skin_button_group.h"

#include "controls/skin_button.h"

namespace velmaro {

SkinButtonGroup::SkinButtonGroup(QObject* parent) : QObject(parent) {}

void SkinButtonGroup::Add(SkinButton* button) {
    if (button == nullptr || buttons_.contains(button)) {
        return;
    }
    buttons_.append(button);
    connect(button, &SkinButton::GroupMessage, this,
            [this, button](quint32 code, int wParam, int lParam) {
                Deliver(button, code, wParam, lParam);
            });
}

void SkinButtonGroup::Remove(SkinButton* button) {
    buttons_.removeAll(button);
    if (button != nullptr) {
        disconnect(button, &SkinButton::GroupMessage, this, nullptr);
    }
}

QList<SkinButton*> SkinButtonGroup::Buttons() const {
    QList<SkinButton*> alive;
    for (const QPointer<SkinButton>& button : buttons_) {
        if (button) {
            alive.append(button);
        }
    }
    return alive;
}

// Delivered at once rather than queued, so no caller ever sees two radio buttons of one group
// checked at the same time.
void SkinButtonGroup::Deliver(SkinButton* from, quint32 code, int wParam, int lParam) {
    for (SkinButton* button : Buttons()) {
        if (button != from) {
            button->HandleMessage(code, wParam, lParam);
        }
    }
}

}  // namespace velmaro
