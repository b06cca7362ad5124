// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/skin_label.h"

#include <qdrawutil.h>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

namespace velmaro {

namespace {

constexpr int kFlashIntervalMs = 500;
constexpr int kFrameWidth = 1;
constexpr int kBoldWeight = QFont::Bold;      // 700
constexpr int kNormalWeight = QFont::Normal;  // 400

}  // namespace

SkinLabel::SkinLabel(QWidget* parent, const QString& text)
    : QWidget(parent),
      text_(text),
      textColor_(palette().color(QPalette::WindowText)),
      bkColor_(palette().color(QPalette::Window)),
      font_(font()) {
    flashTimer_.setInterval(kFlashIntervalMs);
    connect(&flashTimer_, &QTimer::timeout, this, &SkinLabel::ToggleFlash);
}

SkinLabel& SkinLabel::Changed() {
    updateGeometry();
    update();
    return *this;
}

SkinLabel& SkinLabel::SetText(const QString& text) {
    text_ = text;
    return Changed();
}

SkinLabel& SkinLabel::SetTextColor(const QColor& color) {
    textColor_ = color;
    return Changed();
}

SkinLabel& SkinLabel::SetBkColor(const QColor& color) {
    bkColor_ = color;
    transparent_ = false;
    return Changed();
}

SkinLabel& SkinLabel::SetTransparent(bool transparent) {
    transparent_ = transparent;
    return Changed();
}

SkinLabel& SkinLabel::SetFontName(const QString& face) {
    font_.setFamily(face.left(kMaxFaceLength));
    return Changed();
}

SkinLabel& SkinLabel::SetFontSize(int points) {
    if (points > 0) {
        font_.setPointSize(points);
    }
    return Changed();
}

SkinLabel& SkinLabel::SetFontBold(bool bold) {
    font_.setWeight(static_cast<QFont::Weight>(bold ? kBoldWeight : kNormalWeight));
    return Changed();
}

SkinLabel& SkinLabel::SetFontUnderline(bool underline) {
    font_.setUnderline(underline);
    return Changed();
}

SkinLabel& SkinLabel::SetFontItalic(bool italic) {
    font_.setItalic(italic);
    return Changed();
}

SkinLabel& SkinLabel::SetAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    return Changed();
}

SkinLabel& SkinLabel::SetBorder(bool border) {
    border_ = border;
    return Changed();
}

SkinLabel& SkinLabel::SetSunken(bool sunken) {
    sunken_ = sunken;
    return Changed();
}

SkinLabel& SkinLabel::SetLink(bool link, bool notifyParent) {
    link_ = link;
    notifyParent_ = notifyParent;
    if (link) {
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
    }
    return Changed();
}

SkinLabel& SkinLabel::FlashText(bool flash) {
    flashHidden_ = false;
    if (flash) {
        flashTimer_.start();
    } else {
        flashTimer_.stop();
    }
    return Changed();
}

void SkinLabel::ToggleFlash() {
    flashHidden_ = !flashHidden_;
    update();
}

QSize SkinLabel::sizeHint() const {
    const int frame = (border_ || sunken_) ? 2 * kFrameWidth : 0;
    return QFontMetrics(font_).size(Qt::TextSingleLine, text_) + QSize(frame, frame);
}

void SkinLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!transparent_) {
        painter.fillRect(rect(), bkColor_);
    }
    QRect textRect = rect();
    if (border_ || sunken_) {
        qDrawShadePanel(&painter, rect(), palette(), sunken_, kFrameWidth);
        textRect.adjust(kFrameWidth, kFrameWidth, -kFrameWidth, -kFrameWidth);
    }
    if (flashHidden_) {
        return;
    }
    painter.setFont(font_);
    painter.setPen(textColor_);
    painter.drawText(textRect, static_cast<int>(alignment_), text_);
}

// A link takes its own clicks; a plain label lets them through, so a skinned dialog can be
// dragged by its labels as by its background.
void SkinLabel::mousePressEvent(QMouseEvent* event) {
    if (link_ && event->button() == Qt::LeftButton) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void SkinLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (!link_ || event->button() != Qt::LeftButton || !rect().contains(event->pos())) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    if (notifyParent_) {
        emit Clicked();
    } else {
        QDesktopServices::openUrl(QUrl::fromUserInput(text_));
    }
}

}  // namespace velmaro
