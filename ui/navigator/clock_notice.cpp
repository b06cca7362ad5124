// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/navigator/clock_notice.h"

#include <QLabel>
#include <QPushButton>

#include "app/language_table.h"

namespace velmaro {
namespace {

constexpr int kCloseWidth = 22;
constexpr int kChoiceWidth = 170;
constexpr int kGap = 4;

}  // namespace

ClockNotice::ClockNotice(QWidget* parent) : QFrame(parent) {
    setStyleSheet(
        QStringLiteral("QFrame { background: #3a3220; border: 1px solid #ffa000; }"
                       "QLabel { color: #ffd080; border: none; font-size: 11px; }"
                       "QPushButton { color: #ffffff; background: #505050; border: 1px "
                       "solid #808080; font-size: 11px; }"));
    text_ = new QLabel(this);
    choice_ = new QPushButton(this);
    close_ = new QPushButton(QStringLiteral("\u00D7"), this);
    choice_->setFocusPolicy(Qt::NoFocus);
    close_->setFocusPolicy(Qt::NoFocus);
    connect(choice_, &QPushButton::clicked, this, [this] {
        SetByGps(!byGps_);
        emit ByGpsToggled(byGps_);
    });
    connect(close_, &QPushButton::clicked, this, &QWidget::hide);
    SetByGps(false);
    hide();
}

void ClockNotice::ShowOffset(const QString& text, bool byGps) {
    text_->setText(text);
    SetByGps(byGps);
    show();
    raise();
}

void ClockNotice::SetByGps(bool byGps) {
    byGps_ = byGps;
    choice_->setText(QString::fromStdString(
        GetLanguageString(byGps ? "Show camera times" : "Show times by GPS")));
}

QString ClockNotice::Text() const {
    return text_->text();
}

void ClockNotice::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    const int h = height() - 2 * kGap / 2;
    close_->setGeometry(width() - kCloseWidth - kGap / 2, kGap / 2, kCloseWidth, h);
    choice_->setGeometry(close_->x() - kChoiceWidth - kGap, kGap / 2, kChoiceWidth, h);
    text_->setGeometry(kGap * 2, 0, choice_->x() - kGap * 3, height());
}

}  // namespace velmaro
