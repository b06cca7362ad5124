// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QBitmap>
#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QPainterPath>
#include <QtTest/QTest>
#include <cmath>
#include <vector>

#include "controls/segment_chars.h"
#include "controls/segment_display.h"

namespace velmaro {
namespace {

struct MaskCase {
    char c;
    unsigned seven;
    unsigned fourteen;
};

TEST(DigiMasks, DigitsSpaceAndMinusHaveBothForms) {
    const MaskCase cases[] = {
        {' ', 0x00, 0x0000}, {'0', 0x77, 0x3F00}, {'1', 0x24, 0x1800}, {'2', 0x5D, 0x36C0},
        {'3', 0x6D, 0x3CC0}, {'4', 0x2E, 0x19C0}, {'5', 0x6B, 0x2DC0}, {'6', 0x7B, 0x2FC0},
        {'7', 0x25, 0x3800}, {'8', 0x7F, 0x3FC0}, {'9', 0x6F, 0x3DC0}, {'-', 0x08, 0x00C0},
    };
    for (const MaskCase& c : cases) {
        SCOPED_TRACE(c.c);
        EXPECT_EQ(SevenSegmentMask(QLatin1Char(c.c)), c.seven);
        EXPECT_EQ(FourteenSegmentMask(QLatin1Char(c.c)), c.fourteen);
    }
}

TEST(DigiMasks, LettersAndSymbolsAreFourteenSegmentOnly) {
    const char* letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const unsigned letterMasks[] = {
        0x3BC0, 0x3CA1, 0x2700, 0x3C21, 0x27C0, 0x23C0, 0x2F80, 0x1BC0, 0x2421,
        0x1E00, 0x0354, 0x0700, 0x1B06, 0x1B12, 0x3F00, 0x33C0, 0x3F10, 0x33D0,
        0x2DC0, 0x2021, 0x1F00, 0x030C, 0x1B18, 0x001E, 0x11E0, 0x240C,
    };
    for (int i = 0; i < 26; ++i) {
        SCOPED_TRACE(letters[i]);
        EXPECT_EQ(FourteenSegmentMask(QLatin1Char(letters[i])), letterMasks[i]);
        EXPECT_FALSE(SevenSegmentMask(QLatin1Char(letters[i])).has_value());
    }
    const std::pair<char, unsigned> symbols[] = {{'*', 0x00FF}, {'+', 0x00E1},  {'(', 0x0014},
                                                 {')', 0x000A}, {'\\', 0x0012}, {'/', 0x000C},
                                                 {'\'', 0x0001}};
    for (const auto& [c, mask] : symbols) {
        SCOPED_TRACE(c);
        EXPECT_EQ(FourteenSegmentMask(QLatin1Char(c)), mask);
    }
    EXPECT_EQ(ColonDotMask(QLatin1Char('.')), 0x04U);
    EXPECT_EQ(ColonDotMask(QLatin1Char(':')), 0x03U);
}

TEST(DigiMasks, OtherCharactersProduceNothing) {
    for (char c : {'a', 'z', '#', '_', ',', '='}) {
        SCOPED_TRACE(c);
        EXPECT_EQ(MakeDigiChar(QLatin1Char(c), 0), nullptr);
        EXPECT_EQ(MakeDigiChar(QLatin1Char(c), kDigiForce14Segment), nullptr);
    }
    EXPECT_EQ(MakeDigiChar(QChar(0x00C4), 0), nullptr);  // A with diaeresis
    EXPECT_TRUE(BuildDigiChars(QStringLiteral("a"), kDigiDefaultStyle).empty());
}

TEST(DigiChars, StyleChoosesTheCharacterKind) {
    const auto seven = MakeDigiChar(QLatin1Char('1'), 0);
    ASSERT_NE(seven, nullptr);
    EXPECT_EQ(seven->SegmentCount(), 7);
    EXPECT_EQ(seven->Width(), 49);
    // "1" lights the two right verticals in both forms.
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(seven->IsLit(i), i == 2 || i == 5) << i;
    }
    const auto fourteen = MakeDigiChar(QLatin1Char('1'), kDigiForce14Segment);
    ASSERT_NE(fourteen, nullptr);
    EXPECT_EQ(fourteen->SegmentCount(), 14);
    for (int i = 0; i < 14; ++i) {
        EXPECT_EQ(fourteen->IsLit(i), i == 11 || i == 12) << i;
    }
    const auto letter = MakeDigiChar(QLatin1Char('K'), 0);
    ASSERT_NE(letter, nullptr);
    EXPECT_EQ(letter->SegmentCount(), 14);
    const auto colon = MakeDigiChar(QLatin1Char(':'), kDigiForce14Segment);
    ASSERT_NE(colon, nullptr);
    EXPECT_EQ(colon->SegmentCount(), 3);
    EXPECT_EQ(colon->Width(), 18);
    EXPECT_TRUE(MakeDigiChar(QLatin1Char('8'), kDigiHideUnlit)->HidesUnlit());
    EXPECT_FALSE(MakeDigiChar(QLatin1Char('8'), kDigiDefaultStyle)->HidesUnlit());
}

TEST(DigiChars, TextWidthsInUnits) {
    for (unsigned style : {0U, kDigiForce14Segment, kDigiDefaultStyle | kDigiSmooth}) {
        EXPECT_EQ(TextWidthUnits(BuildDigiChars(QStringLiteral("12:34"), style)), 214);
    }
    EXPECT_EQ(TextWidthUnits(BuildDigiChars(QStringLiteral("1.5"), 0)), 116);
    EXPECT_EQ(TextWidthUnits(BuildDigiChars(QStringLiteral("a1b"), 0)), 49);
    EXPECT_EQ(TextWidthUnits(BuildDigiChars(QStringLiteral("  0"), 0)), 147);
    EXPECT_EQ(TextWidthUnits(BuildDigiChars(QString(), 0)), 0);
}

std::vector<SegmentPoint> Lines(std::initializer_list<std::pair<int, int>> xy) {
    std::vector<SegmentPoint> points;
    for (const auto& [x, y] : xy) {
        points.push_back({points.empty() ? PathOp::kMove : PathOp::kLine, x, y});
    }
    return points;
}

TEST(DigiOutlines, TransformedSegmentsKnownAnswers) {
    const auto plain7 = MakeDigiChar(QLatin1Char('8'), 0);
    EXPECT_EQ(plain7->Segments()[2].Points(), Lines({{44, 6}, {44, 40}, {37, 36}, {37, 13}}));
    EXPECT_EQ(plain7->Segments()[5].Points(), Lines({{44, 76}, {44, 42}, {37, 46}, {37, 69}}));
    EXPECT_EQ(plain7->Segments()[6].Points(), Lines({{5, 78}, {12, 71}, {36, 71}, {43, 78}}));

    // The smooth lower right vertical is the right outline flipped, not the left one mirrored.
    const auto smooth7 = MakeDigiChar(QLatin1Char('8'), kDigiSmooth);
    const std::vector<SegmentPoint> lowerRight{{PathOp::kMove, 37, 46},  {PathOp::kCurve, 39, 44},
                                               {PathOp::kCurve, 41, 42}, {PathOp::kLine, 42, 42},
                                               {PathOp::kLine, 44, 43},  {PathOp::kLine, 44, 76},
                                               {PathOp::kCurve, 42, 78}, {PathOp::kCurve, 41, 78},
                                               {PathOp::kCurve, 39, 74}, {PathOp::kLine, 37, 70}};
    EXPECT_EQ(smooth7->Segments()[5].Points(), lowerRight);

    const auto plain14 = MakeDigiChar(QLatin1Char('8'), kDigiForce14Segment);
    EXPECT_EQ(plain14->Segments()[11].Points(), Lines({{44, 75}, {44, 42}, {37, 46}, {37, 56}}));
    EXPECT_EQ(plain14->Segments()[10].Points(), Lines({{6, 78}, {11, 71}, {37, 71}, {42, 78}}));
    EXPECT_EQ(plain14->Segments()[7].Points(),
              Lines({{42, 41}, {34, 45}, {30, 45}, {26, 41}, {30, 37}, {34, 37}}));
    EXPECT_EQ(plain14->Segments()[4].Points(), Lines({{43, 77}, {33, 47}, {28, 45}, {30, 57}}));

    const auto colon = MakeDigiChar(QLatin1Char('.'), kDigiSmooth);
    EXPECT_EQ(colon->Segments()[2].Points(), Lines({{4, 68}, {4, 77}, {13, 77}, {13, 68}}));
    EXPECT_EQ(TransformPoint({PathOp::kCurve, 10, 20}, kTransformMirrorFlip),
              (SegmentPoint{PathOp::kCurve, 38, 62}));
}

QPointF Centre(const Segment& segment) {
    QPointF sum;
    for (const SegmentPoint& p : segment.Points()) {
        sum += QPointF(p.x, p.y);
    }
    return sum / static_cast<double>(segment.Points().size());
}

// Every segment sits where its number says, in both outline styles.
TEST(DigiOutlines, SegmentsAreWhereTheirNumbersSay) {
    for (unsigned smooth : {0U, kDigiSmooth}) {
        SCOPED_TRACE(smooth);
        const auto s7 = MakeDigiChar(QLatin1Char('8'), smooth);
        auto c7 = [&](int i) { return Centre(s7->Segments()[i]); };
        EXPECT_LT(c7(0).y(), c7(3).y());
        EXPECT_LT(c7(3).y(), c7(6).y());
        EXPECT_LT(c7(1).x(), c7(2).x());
        EXPECT_LT(c7(4).x(), c7(5).x());
        EXPECT_LT(c7(1).y(), c7(4).y());
        EXPECT_LT(c7(2).y(), c7(5).y());

        const auto s14 = MakeDigiChar(QLatin1Char('8'), smooth | kDigiForce14Segment);
        auto c14 = [&](int i) { return Centre(s14->Segments()[i]); };
        EXPECT_LT(c14(13).y(), c14(0).y());
        EXPECT_LT(c14(0).y(), c14(5).y());
        EXPECT_LT(c14(5).y(), c14(10).y());
        EXPECT_LT(c14(1).x(), c14(2).x());
        EXPECT_LT(c14(3).x(), c14(4).x());
        EXPECT_LT(c14(1).y(), c14(3).y());
        EXPECT_LT(c14(6).x(), c14(7).x());
        EXPECT_LT(c14(8).x(), c14(12).x());
        EXPECT_LT(c14(9).x(), c14(11).x());
        EXPECT_LT(c14(8).y(), c14(9).y());
        for (const Segment& segment : s14->Segments()) {
            for (const SegmentPoint& p : segment.Points()) {
                EXPECT_TRUE(p.x >= 0 && p.x <= 48 && p.y >= 0 && p.y <= 82);
            }
        }
    }
}

TEST(DigiPlacement, ScalesAndCentresTheText) {
    // Twice as wide as the proportions need: centred horizontally, filling the height.
    const DigiPlacement wide = PlaceDigiText(428, 83, 214, kDigiKeepProportions);
    EXPECT_DOUBLE_EQ(wide.sx, 1.0);
    EXPECT_DOUBLE_EQ(wide.sy, 1.0);
    EXPECT_DOUBLE_EQ(wide.originX, 107.0);
    EXPECT_DOUBLE_EQ(wide.originY, 0.0);

    const DigiPlacement tall = PlaceDigiText(214, 166, 214, kDigiKeepProportions);
    EXPECT_DOUBLE_EQ(tall.sx, 1.0);
    EXPECT_DOUBLE_EQ(tall.originY, 41.5);

    const DigiPlacement stretched = PlaceDigiText(428, 83, 214, 0);
    EXPECT_DOUBLE_EQ(stretched.sx, 2.0);
    EXPECT_DOUBLE_EQ(stretched.sy, 1.0);
    EXPECT_DOUBLE_EQ(stretched.originX, 0.0);

    // No characters: nothing to divide by, nothing drawn.
    const DigiPlacement empty = PlaceDigiText(100, 50, 0, kDigiKeepProportions);
    EXPECT_EQ(empty.sx, 0.0);
    EXPECT_EQ(empty.sy, 0.0);
}

QPointF Bezier(QPointF p0, QPointF c1, QPointF c2, QPointF p3, double t) {
    const double u = 1 - t;
    return u * u * u * p0 + 3 * u * u * t * c1 + 3 * u * t * t * c2 + t * t * t * p3;
}

TEST(DigiCurveFit, FollowsTheRunPoints) {
    // Points taken from a known curve: the fit must lie close to them, much closer than the
    // start values.
    const QPointF p0(0, 0), pn(60, 0), c1(10, 40), c2(50, 40);
    const std::vector<QPointF> run{Bezier(p0, c1, c2, pn, 0.25), Bezier(p0, c1, c2, pn, 0.5),
                                   Bezier(p0, c1, c2, pn, 0.75)};
    const CubicControls start{2.0 * run.front() - p0, 2.0 * run.back() - pn};
    const CubicControls fit = FitCubic(p0, run, pn);
    const double before = CubicFitError(p0, start, pn, run);
    const double after = CubicFitError(p0, fit, pn, run);
    EXPECT_LT(after, before);
    EXPECT_LT(after, 1.0);  // within a pixel of all three points

    // A straight run stays straight.
    const std::vector<QPointF> line{{10, 10}, {20, 20}};
    const CubicControls straight = FitCubic(QPointF(0, 0), line, QPointF(30, 30));
    EXPECT_NEAR(straight.c1.x(), straight.c1.y(), 1e-9);
    EXPECT_NEAR(straight.c2.x(), straight.c2.y(), 1e-9);
    EXPECT_LT(CubicFitError(QPointF(0, 0), straight, QPointF(30, 30), line), 1e-6);
}

TEST(DigiTrace, PointsAreScaledRoundedAndCurvesEndOnTheNextPoint) {
    const std::vector<SegmentPoint> base{{PathOp::kMove, 4, 6},
                                         {PathOp::kLine, 4, 40},
                                         {PathOp::kLine, 11, 36},
                                         {PathOp::kLine, 11, 13}};
    const DigiPlacement placement{1.5, 0.5, 0.0, 3.0};
    const QPainterPath path = TraceSegment(Segment(base, kTransformNone), placement, 10.0);
    const QPolygonF polygon = path.toFillPolygon();
    ASSERT_GE(polygon.size(), 4);
    EXPECT_EQ(polygon[0], QPointF(16, 6));   // 4*1.5+10, 6*0.5+3
    EXPECT_EQ(polygon[1], QPointF(16, 23));  // 40*0.5+3
    EXPECT_EQ(polygon[2], QPointF(27, 21));  // 11*1.5+10 = 26.5 rounds up
    EXPECT_EQ(polygon[3], QPointF(27, 10));  // 13*0.5+3 = 9.5 rounds up

    // A run of curve points ends on the point after it; one without such a point keeps lines.
    const std::vector<SegmentPoint> curved{
        {PathOp::kMove, 0, 0}, {PathOp::kCurve, 10, 10}, {PathOp::kLine, 20, 0}};
    const QPainterPath c = TraceSegment(Segment(curved, kTransformNone), {1, 1, 0, 0}, 0);
    EXPECT_EQ(c.elementAt(1).type, QPainterPath::CurveToElement);
    EXPECT_EQ(QPointF(c.elementAt(3)), QPointF(20, 0));
    const std::vector<SegmentPoint> dangling{{PathOp::kMove, 0, 0}, {PathOp::kCurve, 10, 10}};
    const QPainterPath d = TraceSegment(Segment(dangling, kTransformNone), {1, 1, 0, 0}, 0);
    EXPECT_EQ(d.elementAt(1).type, QPainterPath::LineToElement);
    EXPECT_EQ(QPointF(d.elementAt(1)), QPointF(10, 10));
}

TEST(DigiColors, SoftEdgeBlendsThreeToOneTruncated) {
    EXPECT_EQ(SoftEdgeColor(QColor(0, 255, 0), QColor(0, 0, 0)), QColor(0, 191, 0));
    EXPECT_EQ(SoftEdgeColor(QColor(24, 16, 16), QColor(0, 0, 0)), QColor(18, 12, 12));
    EXPECT_EQ(SoftEdgeColor(QColor(0, 255, 0), QColor(255, 255, 255)), QColor(63, 255, 63));
}

// --- the widget -------------------------------------------------------------------------------

QImage Render(SegmentDisplay& display) {
    return display.grab().toImage();
}

// A pixel well inside the outline of segment i of character ch.
QPoint InsideSegment(const SegmentDisplay& display, int ch, int i) {
    int unitsBefore = 0;
    for (int k = 0; k < ch; ++k) {
        unitsBefore += display.Chars()[k]->Width();
    }
    const DigiPlacement& p = display.Placement();
    const QPainterPath path =
        TraceSegment(display.Chars()[ch]->Segments()[i], p, p.originX + unitsBefore * p.sx);
    const QRect box = path.boundingRect().toAlignedRect();
    const QPointF centre = box.center();
    QPoint best(-1, -1);
    double bestDistance = 1e9;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
            bool deep = true;
            for (int dy = -2; dy <= 2 && deep; dy += 2) {
                for (int dx = -2; dx <= 2 && deep; dx += 2) {
                    deep = path.contains(QPointF(x + dx + 0.5, y + dy + 0.5));
                }
            }
            const double d = std::hypot(x - centre.x(), y - centre.y());
            if (deep && d < bestDistance) {
                best = QPoint(x, y);
                bestDistance = d;
            }
        }
    }
    return best;
}

TEST(DigiStaticWidget, DrawsLitAndUnlitSegmentsOverTheBackground) {
    SegmentDisplay display;
    display.resize(98, 166);
    display.SetText(QStringLiteral("1"));
    const QImage image = Render(display);
    EXPECT_EQ(image.pixelColor(0, 0), QColor(kDigiDefaultBackground));
    EXPECT_EQ(image.pixelColor(InsideSegment(display, 0, 2)), QColor(kDigiDefaultLit));
    EXPECT_EQ(image.pixelColor(InsideSegment(display, 0, 5)), QColor(kDigiDefaultLit));
    EXPECT_EQ(image.pixelColor(InsideSegment(display, 0, 0)), QColor(kDigiDefaultUnlit));
    EXPECT_EQ(image.pixelColor(InsideSegment(display, 0, 3)), QColor(kDigiDefaultUnlit));

    display.SetColor(QColor(10, 20, 30), QColor(200, 100, 0));
    display.SetBackgroundColor(QColor(0, 0, 80));
    display.ModifyStyleBits(0, kDigiHideUnlit | kDigiForce14Segment | kDigiSmooth);
    const QImage restyled = Render(display);
    EXPECT_EQ(restyled.pixelColor(InsideSegment(display, 0, 12)), QColor(200, 100, 0));
    EXPECT_EQ(restyled.pixelColor(InsideSegment(display, 0, 13)), QColor(0, 0, 80));
}

TEST(DigiStaticWidget, OutlinesUseTheSoftEdgeColourOnlyWithThatStyle) {
    // ":" on an 18 x 83 control maps one unit to one pixel: the dot's left edge is at x = 4.
    SegmentDisplay display;
    display.resize(18, 83);
    display.SetText(QStringLiteral(":"));
    EXPECT_EQ(Render(display).pixelColor(4, 27), QColor(0, 191, 0));
    EXPECT_EQ(Render(display).pixelColor(8, 27), QColor(kDigiDefaultLit));
    display.ModifyStyleBits(kDigiSoftEdges, 0);
    EXPECT_EQ(Render(display).pixelColor(4, 27), QColor(kDigiDefaultLit));
    // The decimal point is an unlit segment of the colon.
    EXPECT_EQ(Render(display).pixelColor(8, 72), QColor(kDigiDefaultUnlit));
}

struct InkColumns {
    int first = -1;
    int last = -1;
    int firstRow = -1;
};

InkColumns Ink(const QImage& image, QColor background) {
    InkColumns ink;
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            if (image.pixelColor(x, y) != background) {
                if (ink.first < 0) {
                    ink.first = x;
                }
                ink.last = x;
                if (ink.firstRow < 0 || y < ink.firstRow) {
                    ink.firstRow = y;
                }
            }
        }
    }
    return ink;
}

TEST(DigiStaticWidget, KeepProportionsCentresTheText) {
    SegmentDisplay display;
    display.resize(428, 83);
    display.SetText(QStringLiteral("12:34"));
    const InkColumns centred = Ink(Render(display), QColor(kDigiDefaultBackground));
    // 214 units at one pixel each, starting at 107; "1" leaves its left side unlit but drawn.
    EXPECT_GE(centred.first, 107);
    EXPECT_LE(centred.first, 112);
    EXPECT_LE(centred.last, 321);
    EXPECT_GE(centred.last, 315);
    EXPECT_LE(centred.firstRow, 5);  // fills the height

    display.ModifyStyleBits(kDigiKeepProportions, 0);
    const InkColumns stretched = Ink(Render(display), QColor(kDigiDefaultBackground));
    EXPECT_LE(stretched.first, 10);
    EXPECT_GE(stretched.last, 418);
}

TEST(DigiStaticWidget, EmptyOrUnknownTextPaintsOnlyTheBackground) {
    SegmentDisplay display;
    display.resize(120, 60);
    for (const QString& text : {QString(), QStringLiteral("a"), QStringLiteral("xyz")}) {
        display.SetText(text);
        EXPECT_EQ(Ink(Render(display), QColor(kDigiDefaultBackground)).first, -1)
            << text.toStdString();
    }
}

class PaintCounter : public QObject {
  public:
    int paints = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return QObject::eventFilter(watched, event);
    }
};

TEST(DigiStaticWidget, SameTextTwiceRepaintsOnce) {
    SegmentDisplay display;
    display.resize(150, 50);
    display.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&display));
    QCoreApplication::processEvents();
    PaintCounter counter;
    display.installEventFilter(&counter);

    display.SetText(QStringLiteral(" 42"));
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.paints, 1);
    display.SetText(QStringLiteral(" 42"));
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.paints, 1);

    // Redraw-at-once paints before the call returns.
    display.SetRedrawAtOnce(true);
    display.SetText(QStringLiteral(" 43"));
    EXPECT_EQ(counter.paints, 2);
}

TEST(DigiStaticWidget, RegionFlagShapesTheWidgetToItsSegments) {
    SegmentDisplay display;
    display.resize(320, 100);
    display.SetText(QStringLiteral("000"));
    display.SetRegionFlag(true);
    display.ModifyStyleBits(0, kDigiForce14Segment | kDigiKeepProportions);
    const QPoint lit = InsideSegment(display, 0, 13);
    EXPECT_TRUE(display.mask().contains(lit));
    EXPECT_FALSE(display.mask().contains(QPoint(0, 0)));
    EXPECT_FALSE(display.mask().contains(QPoint(319, 50)));  // beside the centred text

    // Hidden unlit segments leave holes; a shorter text a smaller shape.
    const QPoint unlit = InsideSegment(display, 0, 0);
    EXPECT_TRUE(display.mask().contains(unlit));
    display.ModifyStyleBits(0, kDigiHideUnlit);
    EXPECT_FALSE(display.mask().contains(unlit));
    EXPECT_TRUE(display.mask().contains(lit));

    display.SetRegionFlag(false);
    EXPECT_TRUE(display.mask().isEmpty());
}

}  // namespace
}  // namespace velmaro
