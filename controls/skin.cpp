#include "controls/skin.h"

#include <QPainter>
#include <QPixmapCache>
#include <QString>
#include <array>

namespace velmaro {

namespace {

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

}  // namespace

QPixmap SkinBitmap(int id) {
    const QString key = QStringLiteral(":/skin/%1.png").arg(id);
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap.load(key);
        QPixmapCache::insert(key, pixmap);
    }
    return pixmap;
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
