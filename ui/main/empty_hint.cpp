// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/empty_hint.h"

#include <QLabel>
#include <QPushButton>
#include <utility>

namespace velmaro {
namespace {

constexpr int kHintHeight = 48;
constexpr int kGap = 12;
constexpr int kButtonWidth = 160;
constexpr int kButtonHeight = 32;
constexpr int kSidePadding = 24;

}  // namespace

EmptyHint::EmptyHint(const QString& hint, const QString& openText, std::function<void()> open,
                     QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("emptyHint"));
    hint_ = new QLabel(hint, this);
    hint_->setAlignment(Qt::AlignCenter);
    hint_->setWordWrap(true);
    hint_->setStyleSheet(QStringLiteral("color:#e4e7eb;font-size:15px;"));
    openButton_ = new QPushButton(openText, this);
    openButton_->setAccessibleName(openText);
    connect(openButton_, &QPushButton::clicked, this, std::move(open));
}

QString EmptyHint::Hint() const {
    return hint_->text();
}

// Under the middle of the area, so that the skin's play mark above stays in view.
void EmptyHint::resizeEvent(QResizeEvent*) {
    const int top = height() / 2 + height() / 5;
    hint_->setGeometry(kSidePadding, top, width() - 2 * kSidePadding, kHintHeight);
    openButton_->setGeometry((width() - kButtonWidth) / 2, top + kHintHeight + kGap, kButtonWidth,
                             kButtonHeight);
}

}  // namespace velmaro
