// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// PictureStatic: one skin bitmap drawn over the whole control.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace velmaro {

class PictureStatic : public QWidget {
    Q_OBJECT

  public:
    explicit PictureStatic(QWidget* parent = nullptr);

    // Replaces the picture; an unknown id leaves the control empty. Returns whether it loaded.
    bool SetPicture(int bitmapId);
    void SetPicture(const QPixmap& picture);
    const QPixmap& Picture() const { return picture_; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QPixmap picture_;
};

}  // namespace velmaro
