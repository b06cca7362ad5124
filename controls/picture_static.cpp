// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/picture_static.h"

#include <QPainter>

#include "controls/skin.h"

namespace velmaro {

PictureStatic::PictureStatic(QWidget* parent) : QWidget(parent) {}

bool PictureStatic::SetPicture(int bitmapId) {
    SetPicture(SkinBitmap(bitmapId));
    return !picture_.isNull();
}

void PictureStatic::SetPicture(const QPixmap& picture) {
    picture_ = picture;
    updateGeometry();
    update();
}

QSize PictureStatic::sizeHint() const {
    return picture_.isNull() ? QSize(0, 0) : picture_.size();
}

void PictureStatic::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) {
        return;
    }
    QPainter painter(this);
    // Badges are shown smaller than drawn in the compact layout; smoothing keeps them legible.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, picture_.size() != size());
    DrawSkin(painter, rect(), picture_, picture_.rect());
}

}  // namespace velmaro
