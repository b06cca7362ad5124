// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What the video area says while no recording is open: how to get one, with a button that opens
// a file.
#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;

namespace velmaro {

class EmptyHint : public QWidget {
    Q_OBJECT

  public:
    EmptyHint(const QString& hint, const QString& openText, std::function<void()> open,
              QWidget* parent);
    QString Hint() const;
    QPushButton* OpenButton() const { return openButton_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    QLabel* hint_ = nullptr;
    QPushButton* openButton_ = nullptr;
};

}  // namespace velmaro
