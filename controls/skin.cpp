#include "controls/skin.h"

#include <QHash>
#include <QPainter>
#include <QPixmapCache>
#include <QString>

namespace velmaro {
namespace {

constexpr int kSharpRatio = 2;

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

}  // namespace velmaro
