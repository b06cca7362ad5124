// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// BitmapSlider: a slider drawn from a channel bitmap and a thumb bitmap (each with an optional
// "active" look and transparent colour). While the thumb is dragged it sends
// kMsgBitmapSliderMoving, on release kMsgBitmapSliderReleased, each with the control id and
// the position.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>

namespace velmaro {

class BitmapSlider : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kNoBitmap = -1;

    explicit BitmapSlider(QWidget* parent = nullptr, int controlId = 0);

    // An invalid transparent colour draws the bitmap as it is. Return whether it was found.
    bool SetBitmapChannel(int bitmapId, int activeBitmapId = kNoBitmap,
                          const QColor& transparent = QColor());
    bool SetBitmapThumb(int bitmapId, int activeBitmapId = kNoBitmap,
                        const QColor& transparent = QColor());
    void SetBitmapChannel(const QPixmap& channel, const QPixmap& active = QPixmap(),
                          const QColor& transparent = QColor());
    void SetBitmapThumb(const QPixmap& thumb, const QPixmap& active = QPixmap(),
                        const QColor& transparent = QColor());

    void SetRange(int minimum, int maximum);
    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }
    void SetPos(int position);
    int GetPos() const { return position_; }
    // Step of Page Up and Page Down.
    void SetPageSize(int pageSize) { pageSize_ = pageSize; }
    int PageSize() const { return pageSize_; }
    // Left, top, right, bottom: the track runs between the start and end margins.
    void SetMargin(int left, int top, int right, int bottom);
    void SetVertical(bool vertical);
    bool IsVertical() const { return vertical_; }
    void SetDrawFocusRect(bool draw);
    void SetControlId(int controlId) { controlId_ = controlId; }
    int ControlId() const { return controlId_; }

    bool IsThumbActive() const { return thumbActive_; }
    // Thumb centre along the track, in pixels from the control's start edge.
    int ThumbCentre() const { return PosToPixel(position_); }
    QRect ThumbRect() const;
    // Moves the thumb there, limited to the range, and reports it as a release: keys and
    // assistive tools settle the thumb at once.
    void StepTo(int position);

    QSize sizeHint() const override;

  signals:
    void Notify(quint32 code, int controlId, int position);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

  private:
    int Length() const;
    int ThumbLength() const;
    int StartMargin() const { return vertical_ ? marginTop_ : marginLeft_; }
    int EndMargin() const { return vertical_ ? marginBottom_ : marginRight_; }
    int FreeLength() const;
    int PosToPixel(int position) const;
    int PixelToPos(int pixel) const;
    int Along(const QMouseEvent* event) const;
    void DragTo(int pointer);
    void DrawBitmap(QPainter& painter, const QRect& area, const QPixmap& bitmap) const;

    QPixmap channel_;
    QPixmap activeChannel_;
    QPixmap thumb_;
    QPixmap activeThumb_;
    int controlId_;
    bool vertical_ = false;
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
    int pageSize_ = 20;
    int marginLeft_ = 0;
    int marginTop_ = 0;
    int marginRight_ = 0;
    int marginBottom_ = 0;
    bool drawFocusRect_ = true;
    bool thumbActive_ = false;
    int grabOffset_ = 0;
};

}  // namespace velmaro
