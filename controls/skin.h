// Skin bitmaps by id: PNG files compiled in under ":/skin/<id>.png", and the skin's named
// colours for what controls draw themselves.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QRect>

class QPainter;

namespace velmaro {

// The skin bitmap with the given id; a null pixmap when the skin has no such bitmap.
QPixmap SkinBitmap(int id);

// Colours of the skin that no bitmap carries. The calendar's sit on the window's dark ground
// like the rest of the navigator; the focus ring takes the skin's highlight.
enum class SkinColor {
    kHighlight,
    kCalendarBackground,
    kCalendarTitleBand,
    kCalendarWeekdayBand,
    kCalendarSeparator,
    kCalendarDayText,
    kCalendarWeekdayName,
    kCalendarSundayText,
    kCalendarSaturdayText,
    kCalendarOtherMonthText,
    kCalendarSelectedDisc,
    kCalendarSelectedText,
    kCalendarMarkFrame,
    kCalendarArrowFill,
    kCalendarArrowOutline,
    kCalendarArrowHoverOutline,
};
QColor SkinColour(SkinColor role);

// The keyboard focus ring: a thin rectangle in the highlight colour just inside `rect`.
inline constexpr int kFocusRingWidth = 2;
void DrawFocusRing(QPainter& painter, const QRect& rect);

}  // namespace velmaro
