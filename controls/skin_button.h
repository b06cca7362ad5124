// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// SkinButton: a button drawn from a horizontal strip of four equal frames (normal, hover,
// pressed or checked, disabled), as a push button, a check box or a radio button.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>

namespace velmaro {

class SkinButton : public QAbstractButton {
    Q_OBJECT

  public:
    enum class Mode { kPush = 0, kCheck = 2, kRadio = 4 };
    enum Frame { kFrameNormal = 0, kFrameHover, kFramePressed, kFrameDisabled, kFrameMask };
    static constexpr int kFrameCount = 4;

    explicit SkinButton(QWidget* parent = nullptr, Mode mode = Mode::kPush);

    // Loads the strip, resets stretch, border, mask mode and focus margin, and gives the
    // control the size of one frame without moving it. An unknown id leaves no skin.
    void SetSkin(int bitmapId);
    void SetSkin(const QPixmap& strip);
    bool HasSkin() const { return !strip_.isNull(); }
    const QPixmap& Skin() const { return strip_; }
    QSize FrameSize() const { return frameSize_; }

    Mode GetMode() const { return mode_; }
    void SetMode(Mode mode);
    bool GetCheck() const { return checked_; }
    // A push button stays unchecked; a radio button that becomes checked tells its group.
    void SetCheck(bool checked);

    bool IsHovered() const { return hover_; }
    bool IsPressed() const { return pressed_; }
    // The frame the next paint draws for the current state.
    int ShownFrame() const;

    QColor TextColor() const { return textColor_; }
    void SetTextColor(const QColor& color);
    void SetStretch(bool stretch);
    void SetBorder(bool border);
    // The strip then holds a fifth frame, the mask: white where the background shows through.
    void SetMaskMode(bool maskMode);
    bool IsMaskMode() const { return maskMode_; }
    void SetFocusMargin(int margin);

    QSize sizeHint() const override;

  public slots:
    // Messages from the other controls of the group; kMsgRadioUncheck clears the check.
    void HandleMessage(quint32 code, int wParam, int lParam);

  signals:
    // Sent to the rest of the group (kMsgRadioUncheck when a radio button becomes checked).
    void GroupMessage(quint32 code, int wParam, int lParam);
    void CheckChanged(bool checked);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

    // Frame, edge, text and focus rectangle over `rect`; subclasses draw on top of it.
    void DrawButton(QPainter& painter, const QRect& rect) const;

  private:
    void DrawFrame(QPainter& painter, const QRect& rect, int frame) const;
    void DrawText(QPainter& painter, const QRect& rect, int frame) const;
    void ApplyFrameGeometry();
    void BuildMaskedFrames();
    void ActivateByUser();

    QPixmap strip_;
    QPixmap masked_;  // frames with the mask frame turned into transparency
    QSize frameSize_;
    Mode mode_;
    bool checked_ = false;
    bool hover_ = false;
    bool pressed_ = false;
    QColor textColor_;
    bool stretch_ = false;
    bool border_ = false;
    bool maskMode_ = false;
    int focusMargin_ = 0;
};

}  // namespace velmaro
