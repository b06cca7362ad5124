// Skin bitmaps by id: PNG files compiled in under ":/skin/<id>.png".
#pragma once

#include <QPixmap>

namespace velmaro {

// The skin bitmap with the given id; a null pixmap when the skin has no such bitmap.
QPixmap SkinBitmap(int id);

}  // namespace velmaro
