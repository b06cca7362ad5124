// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// SkinButtonGroup: the controls of one dialog group. When a radio button of the group
// becomes checked, every other member receives kMsgRadioUncheck and clears its check; buttons
// outside the group are untouched.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

namespace velmaro {

class SkinButton;

class SkinButtonGroup : public QObject {
    Q_OBJECT

  public:
    explicit SkinButtonGroup(QObject* parent = nullptr);

    void Add(SkinButton* button);
    void Remove(SkinButton* button);
    QList<SkinButton*> Buttons() const;

  private:
    void Deliver(SkinButton* from, quint32 code, int wParam, int lParam);

    QList<QPointer<SkinButton>> buttons_;
};

}  // namespace velmaro
