// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// SkinDialog: a dialog without a system frame whose background is composed from a skin
// bitmap (corners as they are, edges stretched from strips) and which is dragged by its
// background.
#pragma once

#include <QColor>
#include <QDialog>
#include <QPixmap>

namespace velmaro {

class SkinDialog : public QDialog {
    Q_OBJECT

  public:
    enum class Placement { kWindow, kChild };

    explicit SkinDialog(QWidget* parent = nullptr, Placement placement = Placement::kWindow);

    // Replaces the skin; an unknown id leaves the dialog with its plain background.
    void SetSkin(int bitmapId);
    void SetSkin(const QPixmap& skin);
    bool HasSkin() const { return !skin_.isNull(); }
    const QPixmap& Skin() const { return skin_; }
    QSize SkinSize() const { return skin_.size(); }

    // Corner ellipse of the rounded window region; 0 x 0 keeps the rectangle.
    void SetCornerEllipse(int width, int height);
    QSize CornerEllipse() const { return cornerEllipse_; }
    void SetDraggable(bool draggable) { draggable_ = draggable; }
    bool IsDraggable() const { return draggable_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void ComposeBackground();
    void ApplyRegion();

    QPixmap skin_;
    QColor fillColor_;    // what the skin leaves uncovered
    QPixmap background_;  // the composed client area
    QSize cornerEllipse_{0, 0};
    bool draggable_ = true;
    bool dragging_ = false;
    QPoint dragStartGlobal_;
    QPoint dragStartPos_;
};

}  // namespace velmaro
