// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/time_strip.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include "app/language_table.h"

namespace velmaro {
namespace {

constexpr double kFontShare = 0.6;  // of the strip's height
constexpr int kMargin = 8;
constexpr int kGap = 16;
// The columns' shares of the width after the margins: clock, file, position, state.
constexpr double kClockShare = 0.27;
constexpr double kFileShare = 0.33;
constexpr double kPositionShare = 0.2;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

TimeStrip::TimeStrip(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(Q(GetLanguageString("Time of the picture")));
}

void TimeStrip::SetText(const TimeStripText& text) {
    if (text.clock == text_.clock && text.file == text_.file && text.position == text_.position &&
        text.state == text_.state) {
        return;
    }
    text_ = text;
    UpdateAccessibleText();
    update();
}

void TimeStrip::ShowMessage(const QString& message) {
    message_ = message;
    UpdateAccessibleText();
    update();
}

void TimeStrip::ClearMessage() {
    if (!message_.isEmpty()) {
        ShowMessage(QString());
    }
}

void TimeStrip::UpdateAccessibleText() {
    if (!message_.isEmpty()) {
        setAccessibleDescription(message_);
        return;
    }
    QStringList parts;
    for (const std::string* s : {&text_.clock, &text_.file, &text_.position, &text_.state}) {
        if (!s->empty()) {
            parts << Q(*s);
        }
    }
    setAccessibleDescription(parts.join(QStringLiteral(", ")));
}

void TimeStrip::resizeEvent(QResizeEvent*) {
    QFont f = font();
    f.setPixelSize(std::max(9, static_cast<int>(height() * kFontShare)));
    setFont(f);
    const QRect inner = rect().adjusted(kMargin, 0, -kMargin, 0);
    const int w = inner.width();
    int x = inner.left();
    const auto column = [&](double share) {
        const QRect r(x, inner.top(), static_cast<int>(w * share) - kGap, inner.height());
        x += static_cast<int>(w * share);
        return r;
    };
    clockRect_ = column(kClockShare);
    fileRect_ = column(kFileShare);
    positionRect_ = column(kPositionShare);
    stateRect_ = QRect(x, inner.top(), inner.right() - x, inner.height());
    messageRect_ = inner;
}

void TimeStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    const QFontMetrics metrics(font());
    const auto draw = [&](const QRect& r, const QString& s, int align) {
        painter.drawText(r, align | Qt::AlignVCenter,
                         metrics.elidedText(s, Qt::ElideMiddle, r.width()));
    };
    if (!message_.isEmpty()) {
        painter.setPen(palette().color(QPalette::BrightText));
        draw(messageRect_, message_, Qt::AlignLeft);
        return;
    }
    painter.setPen(palette().color(QPalette::WindowText));
    draw(clockRect_, Q(text_.clock), Qt::AlignLeft);
    painter.setPen(palette().color(QPalette::PlaceholderText));
    draw(fileRect_, Q(text_.file), Qt::AlignLeft);
    painter.setPen(palette().color(QPalette::WindowText));
    draw(positionRect_, Q(text_.position), Qt::AlignRight);
    painter.setPen(palette().color(QPalette::Highlight));
    draw(stateRect_, Q(text_.state), Qt::AlignRight);
}

void TimeStrip::mousePressEvent(QMouseEvent* event) {
    ClearMessage();
    QWidget::mousePressEvent(event);
}

}  // namespace velmaro
