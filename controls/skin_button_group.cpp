#include "controls/skin_button_group.h"

#include "controls/skin_button.h"

namespace velmaro {

CVxSkinButtonGroup::CVxSkinButtonGroup(QObject* parent) : QObject(parent) {}

void CVxSkinButtonGroup::Add(CVxSkinButton* button) {
    if (button == nullptr || buttons_.contains(button)) {
        return;
    }
    buttons_.append(button);
    connect(button, &CVxSkinButton::GroupMessage, this,
            [this, button](quint32 code, int wParam, int lParam) {
                Deliver(button, code, wParam, lParam);
            });
}

void CVxSkinButtonGroup::Remove(CVxSkinButton* button) {
    buttons_.removeAll(button);
    if (button != nullptr) {
        disconnect(button, &CVxSkinButton::GroupMessage, this, nullptr);
    }
}

QList<CVxSkinButton*> CVxSkinButtonGroup::Buttons() const {
    QList<CVxSkinButton*> alive;
    for (const QPointer<CVxSkinButton>& button : buttons_) {
        if (button) {
            alive.append(button);
        }
    }
    return alive;
}

// Delivered at once rather than queued, so no caller ever sees two radio buttons of one group
// checked at the same time.
void CVxSkinButtonGroup::Deliver(CVxSkinButton* from, quint32 code, int wParam, int lParam) {
    for (CVxSkinButton* button : Buttons()) {
        if (button != from) {
            button->HandleMessage(code, wParam, lParam);
        }
    }
}

}  // namespace velmaro
