#include "controls/skin.h"

#include <QPixmapCache>
#include <QString>

namespace velmaro {

QPixmap SkinBitmap(int id) {
    const QString key = QStringLiteral(":/skin/%1.png").arg(id);
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap.load(key);
        QPixmapCache::insert(key, pixmap);
    }
    return pixmap;
}

}  // namespace velmaro
