// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The list of keys, laid over the video (F1): every key the window answers, with what it does,
// taken from the same table the keys are bound from, so that it cannot fall out of date.
#pragma once

#include <QString>
#include <QWidget>
#include <utility>
#include <vector>

namespace velmaro {

class ShortcutOverlay : public QWidget {
    Q_OBJECT

  public:
    using Entry = std::pair<QString, QString>;  // the keys as the desktop writes them, the use

    ShortcutOverlay(const QString& title, QWidget* parent);
    void SetEntries(std::vector<Entry> entries);
    const std::vector<Entry>& Entries() const { return entries_; }
    void Toggle();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QString title_;
    std::vector<Entry> entries_;
};

}  // namespace velmaro
