// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A slim bar along the top of the window that tells how far the camera's clock is off and
// offers to show the navigator's times by GPS instead; it can be closed. Nothing is written
// anywhere: the choice only shifts what the navigator shows.
#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

namespace velmaro {

class ClockNotice : public QFrame {
    Q_OBJECT

  public:
    explicit ClockNotice(QWidget* parent = nullptr);

    void ShowOffset(const QString& text, bool byGps);
    void SetByGps(bool byGps);
    QString Text() const;
    QPushButton* ChoiceButton() const { return choice_; }

  signals:
    void ByGpsToggled(bool byGps);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    QLabel* text_ = nullptr;
    QPushButton* choice_ = nullptr;
    QPushButton* close_ = nullptr;
    bool byGps_ = false;
};

}  // namespace velmaro
