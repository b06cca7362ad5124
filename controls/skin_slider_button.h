// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// SkinSliderButton: a skinned button that is also a horizontal position bar with a thumb.
// It tells its owner about the thumb with kMsgThumbPressed, kMsgThumbMoved and
// kMsgThumbReleased, each carrying the identifier and the position. Reached with Tab it moves by
// the arrow keys (a hundredth of the range), Page Up and Down (a tenth), Home and End.
#pragma once

#include <QImage>

#include "controls/skin_button.h"

namespace velmaro {

class SkinSliderButton : public SkinButton {
    Q_OBJECT

  public:
    explicit SkinSliderButton(QWidget* parent = nullptr);

    // Black in the thumb bitmap lets the bar show through.
    void SetThumb(int bitmapId);
    void SetThumb(const QPixmap& thumb);
    QSize ThumbSize() const { return thumb_.size(); }

    void SetRange(int minimum, int maximum);
    int Minimum() const { return minimum_; }
    int Maximum() const { return maximum_; }
    void SetIdentifier(int identifier) { identifier_ = identifier; }
    int Identifier() const { return identifier_; }

    void SetPos(int position);
    int GetPos() const { return position_; }
    double Fraction() const { return fraction_; }
    bool IsDragging() const { return dragging_; }

    // Where the thumb is drawn for the current fraction.
    QRect ThumbRect() const;
    // Moves the thumb there, limited to the range, and tells the owner as a release does:
    // the keys and assistive tools settle the thumb at once.
    void StepTo(int position);
    int SingleStep() const;
    int PageStep() const;

  signals:
    void Notify(quint32 code, int identifier, int position);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

  private:
    double FractionAt(int x) const;
    int PositionAt(double fraction) const;
    double FractionOf(int position) const;

    QImage thumb_;  // black pixels made transparent, premultiplied for the OR below
    int minimum_ = 0;
    int maximum_ = 0;
    int position_ = 0;
    double fraction_ = 0.0;
    int identifier_ = 0;
    bool dragging_ = false;
};

}  // namespace velmaro
