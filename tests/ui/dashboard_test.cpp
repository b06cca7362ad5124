// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Mouse events go through the window system layer, as a user's do: the panel under the
// dashboard must get them.
#define QTEST_QPA_MOUSE_HANDLING

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QTest>
#include <cmath>
#include <limits>
#include <memory>

#include "controls/picture_static.h"
#include "controls/segment_display.h"
#include "controls/skin.h"
#include "tests/controls/skin_test_support.h"
#include "ui/panel/dashboard.h"

namespace velmaro {
namespace {

constexpr QSize kPanelSize(271, 800);
constexpr int kCompact = 0;
constexpr int kFull = 1;

// The play control panel as far as the dashboard sees it: a flat parent that counts presses.
class Panel : public testing::Host {
  public:
    Panel() : Host(kPanelSize) {}
    int presses = 0;

  protected:
    void mousePressEvent(QMouseEvent* event) override {
        ++presses;
        event->accept();
    }
};

// Counts the paints of a widget that reach a given part of it. The speed read-out is shaped, so
// a change of its text repaints the dashboard under it too; those paints do not count.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QRect part) : part_(part) {}
    int paints = 0;

  protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == QEvent::Paint &&
            static_cast<QPaintEvent*>(event)->region().intersects(part_)) {
            ++paints;
        }
        return false;
    }

  private:
    QRect part_;
};

class DashboardTest : public ::testing::Test {
  protected:
    // Built on demand so each test picks its UI mode.
    void Make(int uiMode) {
        dashboard = std::make_unique<Dashboard>(uiMode, &panel, [this] { return now; });
        dashboard->show();
    }
    void Feed(const GSensorRecord& sample, const GpsRecord& fix = {}) {
        dashboard->OnTelemetry(sample, fix);
    }
    QImage Shot() { return panel.grab().toImage(); }
    QRect OnPanel(QWidget* child) const {
        return QRect(child->mapTo(&panel, QPoint(0, 0)), child->size());
    }

    Panel panel;
    int64_t now = 1000;
    std::unique_ptr<Dashboard> dashboard;  // a child of panel, deleted before it
};

bool Near(QColor a, QColor b, int tolerance = 8) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

bool IsTextRed(QColor c) {
    return c.red() > 150 && c.green() < 80 && c.blue() < 80;
}

QImage Rgb(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB32);
}

TEST_F(DashboardTest, PartsSitAtTheirPanelPositionsInBothScales) {
    // The compact layout truncates the scaled positions, except the graph's, which are rounded.
    struct Case {
        int mode;
        QRect graph, dial, speed, unit;
        int graphBitmap, dialBitmap;
    };
    const Case cases[] = {
        {kCompact,
         {7, 211, 188, 55},
         {18, 15, 162, 156},
         {7, 278, 120, 37},
         {138, 285, 39, 15},
         441,
         440},
        {kFull,
         {9, 281, 251, 73},
         {25, 20, 216, 209},
         {10, 371, 160, 50},
         {185, 381, 52, 20},
         132,
         156},
    };
    EXPECT_EQ(Dashboard::DialRect(2), Dashboard::DialRect(kFull));
    EXPECT_EQ(Dashboard::GraphRect(2), Dashboard::GraphRect(kFull));
    for (const Case& c : cases) {
        EXPECT_EQ(Dashboard::GraphRect(c.mode), c.graph);
        EXPECT_EQ(Dashboard::DialRect(c.mode), c.dial);
        Make(c.mode);
        EXPECT_EQ(dashboard->geometry(), Dashboard::Area(c.mode));
        // Spread over the whole panel (as an owner may), the parts stay where they were on it;
        // a hidden widget hears of its new geometry when it is shown.
        if (c.mode == kCompact) {
            dashboard->setGeometry(QRect(QPoint(0, 0), kPanelSize));
        }
        ASSERT_TRUE(panel.ShowAndWait());
        EXPECT_EQ(OnPanel(dashboard->SpeedDisplay()), c.speed) << c.mode;
        EXPECT_EQ(OnPanel(dashboard->UnitLabel()), c.unit) << c.mode;

        const QImage shot = Shot();
        EXPECT_EQ(Rgb(shot.copy(c.graph)), Rgb(SkinBitmap(c.graphBitmap).toImage())) << c.mode;
        const QRect band(0, 0, c.dial.width(), c.dial.height() / 10);  // above the needle
        EXPECT_EQ(Rgb(shot.copy(band.translated(c.dial.topLeft()))),
                  Rgb(SkinBitmap(c.dialBitmap).toImage().copy(band)))
            << c.mode;
        EXPECT_EQ(shot.pixelColor(c.dial.topLeft() - QPoint(1, 1)), testing::Host::kBackground);
    }
}

TEST_F(DashboardTest, ClicksOnTheGaugesReachThePanel) {
    Make(kFull);
    ASSERT_TRUE(panel.ShowAndWait());
    const QPoint targets[] = {Dashboard::DialRect(kFull).center(),
                              Dashboard::GraphRect(kFull).center(),
                              Dashboard::SpeedDisplayRect(kFull).center()};
    for (const QPoint at : targets) {
        QTest::mouseClick(&panel, Qt::LeftButton, {}, at);
    }
    EXPECT_EQ(panel.presses, 3);
}

TEST_F(DashboardTest, HistoryKeepsTheNewestSamplesForTheScale) {
    for (const auto& [mode, capacity] : {std::pair{kFull, 220}, std::pair{kCompact, 165}}) {
        Make(mode);
        EXPECT_EQ(dashboard->HistoryCapacity(), static_cast<size_t>(capacity));
        for (int i = 0; i < 300; ++i) {
            Feed({static_cast<double>(i), 0.0, 0.0});
            now += 10;
        }
        ASSERT_EQ(dashboard->GHistory().size(), static_cast<size_t>(capacity)) << mode;
        EXPECT_EQ(dashboard->GHistory().front().x, 300 - capacity);
        EXPECT_EQ(dashboard->GHistory().back().x, 299);
    }
}

TEST_F(DashboardTest, RepaintsAtMostEveryHundredFiftyMilliseconds) {
    Make(kFull);
    ASSERT_TRUE(panel.ShowAndWait());
    QCoreApplication::processEvents();
    PaintCounter counter(Dashboard::GraphRect(kFull).translated(-dashboard->pos()));
    dashboard->installEventFilter(&counter);

    // Telemetry every 100 ms: the first, third, fifth... sentence repaints.
    std::vector<int> repainted;
    for (int i = 0; i < 10; ++i) {
        const int before = counter.paints;
        Feed({0.0, 0.0, 0.0}, GpsRecord{0.0, 0.0, 10.0 * i, 0.0});
        QCoreApplication::processEvents();
        if (counter.paints > before) {
            repainted.push_back(i);
        }
        now += 100;
    }
    EXPECT_EQ(repainted, (std::vector<int>{0, 2, 4, 6, 8}));
    EXPECT_EQ(dashboard->GHistory().size(), 10u);  // skipped sentences still count
    EXPECT_EQ(dashboard->LastPaintTick(), 1800);
    // What is shown is the fix of the last repaint, not of the skipped sentence after it.
    EXPECT_EQ(dashboard->Fix().speed, 80.0);
    EXPECT_EQ(dashboard->SpeedDisplay()->Text(), QStringLiteral(" 80"));

    // "More than 150 ms": 150 is not enough, 151 is.
    now = *dashboard->LastPaintTick() + 150;
    Feed({}, GpsRecord{0.0, 0.0, 150.0, 0.0});
    EXPECT_EQ(dashboard->LastPaintTick(), now - 150);
    now += 1;
    Feed({}, GpsRecord{0.0, 0.0, 151.0, 0.0});
    EXPECT_EQ(dashboard->LastPaintTick(), now);
    EXPECT_EQ(dashboard->SpeedDisplay()->Text(), QStringLiteral("151"));
}

TEST_F(DashboardTest, SpeedFollowsTheUnitAndItsBadge) {
    Make(kFull);
    ASSERT_TRUE(panel.ShowAndWait());
    EXPECT_EQ(dashboard->SpeedDisplay()->Text(), QStringLiteral("000"));
    Feed({}, GpsRecord{0.0, 0.0, 100.0, 0.0});
    EXPECT_EQ(dashboard->SpeedDisplay()->Text(), QStringLiteral("100"));
    EXPECT_FALSE(dashboard->UnitLabel()->isVisible());

    const QImage mph = SkinBitmap(167).toImage();
    const QImage knot = SkinBitmap(166).toImage();
    dashboard->ApplySpeedUnit(kSpeedMph);
    EXPECT_EQ(dashboard->SpeedDisplay()->Text(), QStringLiteral(" 62"));
    EXPECT_TRUE(dashboard->UnitLabel()->isVisible());
    EXPECT_EQ(dashboard->UnitLabel()->Picture().toImage(), mph);

    dashboard->ApplySpeedUnit(kSpeedKnot);
    EXPECT_EQ(dashboard->SpeedDisplay()->Text(), QStringLiteral(" 54"));  // 53.996 rounds up
    EXPECT_EQ(dashboard->UnitLabel()->Picture().toImage(), knot);
    EXPECT_EQ(Rgb(Shot().copy(Dashboard::UnitLabelRect(kFull))), Rgb(knot));

    dashboard->ApplySpeedUnit(7);  // unknown: km/h
    EXPECT_EQ(dashboard->SpeedDisplay()->Text(), QStringLiteral("100"));
    EXPECT_FALSE(dashboard->UnitLabel()->isVisible());

    EXPECT_EQ(FormatSpeed(100.0, kSpeedMph), QStringLiteral(" 62"));
    EXPECT_EQ(FormatSpeed(100.0, kSpeedKnot), QStringLiteral(" 54"));
    EXPECT_EQ(FormatSpeed(1234.0, kSpeedKmh), QStringLiteral("1234"));
    EXPECT_EQ(FormatSpeed(std::numeric_limits<double>::quiet_NaN(), kSpeedKmh),
              QStringLiteral("  0"));

    dashboard->ApplySpeedUnit(kSpeedMph);
    now += 1000;
    Feed({}, GpsRecord{-33.5, 151.25, 100.0, 90.0});
    dashboard->Reset();
    EXPECT_EQ(dashboard->SpeedDisplay()->Text(), QStringLiteral("  0"));
    EXPECT_EQ(dashboard->Fix().course, 0.0);
    EXPECT_EQ(dashboard->Fix().latitude, 0.0);
    EXPECT_EQ(dashboard->Fix().longitude, 0.0);
}

TEST(DashboardText, CoordinatesAreRightAlignedWithTheirHemisphere) {
    EXPECT_EQ(FormatLatitude(-33.5), QStringLiteral("   33.500000 S"));
    EXPECT_EQ(FormatLatitude(48.1173), QStringLiteral("   48.117300 N"));
    EXPECT_EQ(FormatLongitude(-151.209296), QStringLiteral("  151.209296 W"));
    EXPECT_EQ(FormatLongitude(11.516667), QStringLiteral("   11.516667 E"));
    EXPECT_EQ(FormatLatitude(0.0), QStringLiteral("    0.000000 N"));
    EXPECT_EQ(FormatLatitude(-0.0), QStringLiteral("    0.000000 N"));
    EXPECT_EQ(FormatLongitude(std::numeric_limits<double>::infinity()),
              QStringLiteral("    0.000000 E"));
}

// Leftmost, topmost and bottommost red text pixel in a band of the dial, or -1s.
struct Ink {
    int left = -1;
    int top = -1;
    int bottom = -1;
};

Ink RedInk(const QImage& dial, int fromY, int toY) {
    Ink ink;
    for (int y = fromY; y < toY; ++y) {
        for (int x = 0; x < dial.width(); ++x) {
            if (IsTextRed(dial.pixelColor(x, y))) {
                ink.left = ink.left < 0 ? x : std::min(ink.left, x);
                ink.top = ink.top < 0 ? y : ink.top;
                ink.bottom = y;
            }
        }
    }
    return ink;
}

TEST(DashboardText, GValuesAreWholeAndGarbageStaysWithinTheReadout) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const std::pair<double, const char*> cases[] = {
        {3.7, "Y: 3"},
        {-2.2, "Y: -2"},
        {-0.4, "Y: 0"},
        {9999.0, "Y: 9999"},
        {2147483647.0, "Y: >9999"},
        {-1e300, "Y: <-9999"},
        {kInf, "Y: >9999"},
        {std::numeric_limits<double>::quiet_NaN(), "Y: 0"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(FormatGValue('Y', value).toStdString(), text) << value;
    }
}

TEST_F(DashboardTest, PositionTextsSitOnThePlateInRed) {
    for (const auto& [mode, textX] : {std::pair{kFull, 56}, std::pair{kCompact, 33}}) {
        Make(mode);
        now += 1000;
        Feed({}, GpsRecord{-33.5, -151.25, 0.0, 0.0});
        panel.show();
        const QImage dial = Shot().copy(Dashboard::DialRect(mode));
        const double s = dashboard->Scale();
        const int latitudeY = static_cast<int>(178 * s);
        const int longitudeY = static_cast<int>(191 * s);
        const Ink latitude = RedInk(dial, latitudeY - 4, longitudeY);
        const Ink longitude = RedInk(dial, longitudeY, dial.height());
        ASSERT_GE(latitude.left, 0) << mode;
        ASSERT_GE(longitude.left, 0) << mode;
        // "  151.25..." starts one character before "   33.5...": both are right-aligned from x.
        EXPECT_GE(longitude.left, textX) << mode;
        EXPECT_LT(longitude.left, latitude.left) << mode;
        EXPECT_GE(latitude.top, latitudeY) << mode;
        EXPECT_GE(longitude.top, longitudeY) << mode;
        EXPECT_EQ(RedInk(dial, 0, latitudeY).left, -1) << mode;  // nothing red above the plate
    }
}

TEST_F(DashboardTest, NeedleTurnsClockwiseAboutThePivotWithBlackKeyedOut) {
    Make(kFull);
    ASSERT_TRUE(panel.ShowAndWait());
    const QRect dialRect = Dashboard::DialRect(kFull);
    const QImage needle = SkinBitmap(158).toImage();
    const QImage face = SkinBitmap(156).toImage();
    // Needle pixel (9, 30), right of its axis and above the pivot (7, 43); the dial's pivot is
    // (108, 87). Straight up it lands at (110, 74); a quarter turn clockwise, at (120, 89).
    const QColor needleColor = needle.pixelColor(9, 30);
    ASSERT_GT(needleColor.red(), 150);
    const QPoint up(110, 74);
    const QPoint right(120, 89);

    Feed({}, GpsRecord{0.0, 0.0, 0.0, 0.0});
    QImage dial = Shot().copy(dialRect);
    EXPECT_TRUE(Near(dial.pixelColor(up), needleColor));
    EXPECT_TRUE(Near(dial.pixelColor(right), face.pixelColor(right)));
    // The needle bitmap's black corner shows the dial, not black.
    ASSERT_EQ(needle.pixelColor(0, 0), QColor(0, 0, 0));
    EXPECT_TRUE(Near(dial.pixelColor(101, 44), face.pixelColor(101, 44), 2));

    now += 1000;
    Feed({}, GpsRecord{0.0, 0.0, 0.0, 90.0});
    dial = Shot().copy(dialRect);
    EXPECT_TRUE(Near(dial.pixelColor(right), needleColor));
    EXPECT_TRUE(Near(dial.pixelColor(up), face.pixelColor(up)));

    // A course the camera could not have sent leaves the needle up.
    now += 1000;
    Feed({}, GpsRecord{0.0, 0.0, 0.0, std::numeric_limits<double>::quiet_NaN()});
    dial = Shot().copy(dialRect);
    EXPECT_TRUE(Near(dial.pixelColor(up), needleColor));
}

// Sample i is drawn at x = trunc(30s) + i, y = trunc(38s) - trunc(v / 5 * trunc(33s)) of the
// graph: X red above the base line, Y green below it, Z blue on it.
TEST_F(DashboardTest, GraphDrawsEachAxisWhereTheScaleSays) {
    const QColor red(255, 0, 0);
    const QColor green(0, 255, 0);
    const QColor blue(0, 64, 255);
    constexpr int kSamples = 60;
    auto sampleX = [](int i) { return 0.5 + (i % 9) * 0.5; };   // 0.5 .. 4.5
    auto sampleY = [](int i) { return -0.5 - (i % 7) * 0.5; };  // -0.5 .. -3.5, -2.5 included
    struct Scale {
        int mode, left, base, span;
    };
    for (const Scale sc : {Scale{kFull, 30, 38, 33}, Scale{kCompact, 22, 28, 24}}) {
        Make(sc.mode);
        for (int i = 0; i < kSamples; ++i) {
            Feed({sampleX(i), sampleY(i), 0.0});
        }
        panel.show();
        const QImage graph = Shot().copy(Dashboard::GraphRect(sc.mode));
        auto at = [&](int i, double v) {
            return graph.pixelColor(sc.left + i,
                                    sc.base - static_cast<int>(std::trunc(v / 5.0 * sc.span)));
        };
        for (int i = 0; i < kSamples; ++i) {
            EXPECT_EQ(at(i, sampleX(i)), red) << sc.mode << " X " << i;
            EXPECT_EQ(at(i, sampleY(i)), green) << sc.mode << " Y " << i;
            EXPECT_EQ(at(i, 0.0), blue) << sc.mode << " Z " << i;
        }
        // Nothing is drawn right of the newest sample.
        EXPECT_NE(graph.pixelColor(sc.left + kSamples + 1, sc.base), blue);
    }
}

TEST_F(DashboardTest, LatestValuesShowInTheGraphsBottomBand) {
    Make(kFull);
    ASSERT_TRUE(panel.ShowAndWait());
    const QRect graphRect = Dashboard::GraphRect(kFull);
    // Text is smoothed against the dark graph: count pixels where the axis colour dominates.
    auto red = [](QColor c) { return c.red() > 120 && c.green() < 60 && c.blue() < 60; };
    auto green = [](QColor c) { return c.green() > 120 && c.red() < 60 && c.blue() < 60; };
    auto blue = [](QColor c) { return c.blue() > 120 && c.red() < 40 && c.green() < 100; };
    auto countInk = [&](int fromX, int toX, auto isInk) {
        const QImage band = Shot().copy(graphRect).copy(0, 58, graphRect.width(), 15);
        int ink = 0;
        for (int y = 0; y < band.height(); ++y) {
            for (int x = fromX; x < toX; ++x) {
                ink += isInk(band.pixelColor(x, y)) ? 1 : 0;
            }
        }
        return ink;
    };
    EXPECT_EQ(countInk(30, 100, red), 0);  // no samples, no values

    Feed({3.7, -2.2, 14.0});  // far off the graph for Z, but its value still shows
    EXPECT_GT(countInk(30, 100, red), 10);
    EXPECT_GT(countInk(110, 180, green), 10);
    EXPECT_GT(countInk(190, 250, blue), 10);
}

TEST_F(DashboardTest, AbsurdSamplesAreDrawnWithoutHarm) {
    Make(kCompact);
    ASSERT_TRUE(panel.ShowAndWait());
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Feed({nan, kInf, -kInf});
    Feed({1e300, -1e300, 0.0});
    Feed({nan, nan, nan}, GpsRecord{nan, kInf, nan, -kInf});
    const QImage shot = Shot();
    EXPECT_FALSE(shot.isNull());
    EXPECT_EQ(dashboard->GHistory().size(), 3u);
    // The graph outside its own rectangle is untouched: the panel shows around it.
    const QRect graphRect = Dashboard::GraphRect(kCompact);
    EXPECT_EQ(shot.pixelColor(graphRect.bottomLeft() + QPoint(0, 1)), testing::Host::kBackground);
    EXPECT_EQ(shot.pixelColor(graphRect.topRight() + QPoint(1, 0)), testing::Host::kBackground);
}

}  // namespace
}  // namespace velmaro
