// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The strip under the video: when the picture on screen was recorded, its file, where in it,
// and how it plays; or, in its place until dismissed, a message about what went wrong (a file
// that cannot be opened), which asks nothing and blocks nothing.
#pragma once

#include <QRect>
#include <QWidget>

#include "app/time_strip_text.h"

namespace velmaro {

class TimeStrip : public QWidget {
    Q_OBJECT

  public:
    explicit TimeStrip(QWidget* parent);

    void SetText(const TimeStripText& text);
    const TimeStripText& Text() const { return text_; }
    // Shown until ClearMessage, a click on the strip, or the next message.
    void ShowMessage(const QString& message);
    void ClearMessage();
    const QString& Message() const { return message_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void UpdateAccessibleText();

    TimeStripText text_;
    QString message_;
    QRect clockRect_;
    QRect fileRect_;
    QRect positionRect_;
    QRect stateRect_;
    QRect messageRect_;
};

}  // namespace velmaro
