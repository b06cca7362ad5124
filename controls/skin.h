// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Skin bitmaps by id: PNG files compiled in under ":/skin/<id>.png", each with a sibling drawn
// at twice the pixels, ":/skin/<id>@2x.png", for screens with a device pixel ratio above 1;
// and the skin's named colours for what controls draw themselves.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QRect>

class QPainter;

namespace velmaro {

// The skin bitmap with the given id, at 1x: its sizes are the sizes it is laid out in. A null
// pixmap when the skin has no such bitmap.
QPixmap SkinBitmap(int id);

// Draws `source` (1x pixels) of a skin bitmap into `target`; on a painter whose device has
// more than one pixel per unit the bitmap's 2x sibling is drawn instead, so that it stays
// sharp. A pixmap that is not a skin bitmap as SkinBitmap gave it (one made from it, say) is
// drawn as it is.
void DrawSkin(QPainter& painter, const QRect& target, const QPixmap& pixmap, const QRect& source);
void DrawSkin(QPainter& painter, const QPoint& at, const QPixmap& pixmap);
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
