// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/skin.h"

#include <QHash>
#include <QPainter>
#include <QPixmapCache>
#include <QString>
#include <array>

namespace velmaro {
namespace {

constexpr int kSharpRatio = 2;

constexpr QRgb kGround = qRgb(0x07, 0x09, 0x0c);
constexpr QRgb kBand = qRgb(37, 37, 37);
constexpr QRgb kAccent = qRgb(0xff, 0xa6, 0x2b);
constexpr QRgb kText = qRgb(0xe4, 0xe7, 0xeb);
constexpr QRgb kMutedText = qRgb(0x7d, 0x86, 0x93);

// In the order of SkinColor. Sunday and Saturday keep their red and blue, lightened so that
// they read on the dark ground.
constexpr std::array<QRgb, 16> kPalette = {
    kAccent,                 // highlight
    kGround,                 // calendar background
    kBand,                   // title band
    kGround,                 // weekday band
    kBand,                   // separator
    kText,                   // day text
    kMutedText,              // weekday name
    qRgb(255, 96, 96),       // Sunday
    qRgb(110, 160, 255),     // Saturday
    qRgb(0x4a, 0x52, 0x5e),  // days of the neighbouring months
    kAccent,                 // selected disc
    kGround,                 // selected text
    qRgb(255, 0, 0),         // mark frame
    qRgb(228, 151, 30),      // arrow fill
    qRgb(1, 6, 56),          // arrow outline
    qRgb(255, 255, 255),     // arrow outline under the pointer
};

// The skin bitmaps handed out so far, by their pixmaps' cache keys (shared copies keep the
// key), so that a drawing call can find the id of what it is given.
QHash<qint64, int>& IdsByCacheKey() {
    static QHash<qint64, int> ids;
    return ids;
}

QPixmap Load(const QString& key) {
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap.load(key);
        QPixmapCache::insert(key, pixmap);
    }
    return pixmap;
}

// The 2x sibling of `pixmap` when the painter's device wants more pixels and there is one.
QPixmap SharpSibling(const QPainter& painter, const QPixmap& pixmap) {
    if (painter.device() == nullptr || painter.device()->devicePixelRatio() <= 1.0) {
        return {};
    }
    const auto found = IdsByCacheKey().constFind(pixmap.cacheKey());
    if (found == IdsByCacheKey().constEnd()) {
        return {};
    }
    QPixmap sharp = Load(QStringLiteral(":/skin/%1@2x.png").arg(*found));
    if (sharp.size() != pixmap.size() * kSharpRatio) {
        return {};
    }
    sharp.setDevicePixelRatio(kSharpRatio);
    return sharp;
}

}  // namespace

QPixmap SkinBitmap(int id) {
    QPixmap pixmap = Load(QStringLiteral(":/skin/%1.png").arg(id));
    if (!pixmap.isNull()) {
        IdsByCacheKey().insert(pixmap.cacheKey(), id);
    }
    return pixmap;
}

void DrawSkin(QPainter& painter, const QRect& target, const QPixmap& pixmap, const QRect& source) {
    const QPixmap sharp = SharpSibling(painter, pixmap);
    if (sharp.isNull()) {
        painter.drawPixmap(target, pixmap, source);
        return;
    }
    const QRect twice(source.topLeft() * kSharpRatio, source.size() * kSharpRatio);
    painter.drawPixmap(target, sharp, twice);
}

void DrawSkin(QPainter& painter, const QPoint& at, const QPixmap& pixmap) {
    DrawSkin(painter, QRect(at, pixmap.size()), pixmap, pixmap.rect());
}

QColor SkinColour(SkinColor role) {
    const auto index = static_cast<size_t>(role);
    return index < kPalette.size() ? QColor(kPalette[index]) : QColor();
}

void DrawFocusRing(QPainter& painter, const QRect& rect) {
    painter.save();
    const int half = kFocusRingWidth / 2;
    painter.setPen(QPen(SkinColour(SkinColor::kHighlight), kFocusRingWidth, Qt::SolidLine,
                        Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect.adjusted(half, half, -half, -half));
    painter.restore();
}

}  // namespace velmaro
