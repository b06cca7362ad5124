// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Dashboard: the telemetry gauges in the upper part of the play control panel. A scrolling graph
// of the three G-sensor axes with their latest values, a heading needle on a dial with the
// latitude and longitude under it, and the speed on a segment read-out with its unit badge.
//
// It is a child of the panel that places itself over the gauges' area (the bounding box of the
// graph, the dial, the read-out and the badge, in the panel's coordinates for the UI mode) and
// lets the mouse through, so the panel's buttons and window dragging work as if it were not
// there. The panel's own background shows wherever the gauges draw nothing.
//
// Telemetry can come far faster than anyone reads a gauge (fast forward), so the gauges are
// redrawn at most once per kDashboardRepaintIntervalMs; every G-sensor sample is still kept.
#pragma once

#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "stream/telemetry_records.h"

namespace velmaro {

class SegmentDisplay;
class PictureStatic;

inline constexpr int64_t kDashboardRepaintIntervalMs = 150;

enum SpeedUnit : int { kSpeedKmh = 0, kSpeedMph = 1, kSpeedKnot = 2 };

// The read-outs as the gauges print them: speed "%3.0f" in the unit (an unknown unit counts as
// km/h), latitude "%12f N|S", longitude "%12f E|W". Values that are not finite read as 0.
QString FormatSpeed(double kmh, int unitOfSpeed);
QString FormatLatitude(double latitude);
QString FormatLongitude(double longitude);
// A G-sensor read-out under the graph: "Y: -2", the value truncated. Garbage beyond what fits
// the read-out's room reads ">9999" or "<-9999", so it never runs past the graph's edge.
QString FormatGValue(char axis, double value);

class Dashboard : public QWidget {
    Q_OBJECT

  public:
    // Milliseconds of a monotonic clock; tests give their own.
    using TickSource = std::function<int64_t()>;

    // uiMode 0 is the compact layout (scale 0.75); any other mode is full size. The parent is
    // the play control panel; the dashboard places itself on it at Area(uiMode). Moved or
    // resized later (say, over the whole panel), it keeps the gauges at the same panel
    // positions.
    explicit Dashboard(int uiMode, QWidget* parent = nullptr, TickSource ticks = {});
    ~Dashboard() override;

    // One telemetry text was taken: the G-sensor sample it left and the latest accepted fix.
    void OnTelemetry(const GSensorRecord& sample, const GpsRecord& latestFix);
    // No fix (a new recording, or the map's track was reset): needle up, speed, latitude and
    // longitude 0. The graph keeps its samples.
    void Reset();
    // 0 km/h (no badge), 1 miles per hour, 2 knots; the read-out follows at once.
    void ApplySpeedUnit(int unitOfSpeed);

    int UiMode() const { return uiMode_; }
    double Scale() const { return scale_; }
    size_t HistoryCapacity() const { return historyCapacity_; }
    const std::deque<GSensorRecord>& GHistory() const { return gHistory_; }
    const GpsRecord& Fix() const { return fix_; }
    int SpeedUnitShown() const { return unitOfSpeed_; }
    // Tick of the last telemetry-triggered repaint; none before the first.
    std::optional<int64_t> LastPaintTick() const { return lastPaintTick_; }

    // The read-outs as one sentence for a screen reader: speed with its unit, heading and
    // position. It is the dashboard's accessible description and follows every repaint.
    QString Reading() const;

    SegmentDisplay* SpeedDisplay() const { return speedDisplay_; }
    PictureStatic* UnitLabel() const { return unitLabel_; }

    // Where the parts sit on the panel, in the panel's coordinates.
    static QRect GraphRect(int uiMode);
    static QRect DialRect(int uiMode);
    static QRect SpeedDisplayRect(int uiMode);
    static QRect UnitLabelRect(int uiMode);
    static QRect Area(int uiMode);  // the union of the four: the dashboard's own geometry

  protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    // Everything in the panel's coordinates, fixed by the UI mode.
    struct Layout {
        QRect graph;
        QRect dial;
        QRect speedDisplay;
        QRect unitLabel;
        int graphLeft = 0;      // x of the oldest sample in the graph
        int graphBase = 0;      // y of the value 0
        int graphSpan = 0;      // pixels for 5 units
        QPointF needlePivot;    // on the dial
        int positionTextX = 0;  // latitude and longitude texts on the dial
        int latitudeTextY = 0;
        int longitudeTextY = 0;
        int readoutY = 0;  // baseline of the G-sensor values, on the graph
        std::array<int, 3> readoutX{};
    };

    static Layout MakeLayout(int uiMode);
    void PlaceChildren();
    void ShowFix(const GpsRecord& fix);
    void ShowSpeed();
    void UpdateGauges();

    void PaintDashboard(QPainter& painter);
    void PaintGraph(QPainter& painter);
    void PaintAxis(QPainter& painter, double GSensorRecord::*axis, QColor color);
    void PaintReadouts(QPainter& painter);
    void PaintDial(QPainter& painter);

    const int uiMode_;
    const double scale_;
    const size_t historyCapacity_;
    const Layout layout_;
    TickSource ticks_;

    std::deque<GSensorRecord> gHistory_;  // oldest first
    std::optional<int64_t> lastPaintTick_;
    GpsRecord fix_;  // the fix shown: taken at the last telemetry repaint
    int unitOfSpeed_ = kSpeedKmh;

    QPixmap graphBackground_;
    QPixmap dialBackground_;
    QImage needle_;  // black keyed out once, at construction
    QFont readoutFont_;
    QFont positionFont_;
    int positionAscent_ = 0;      // the position texts' tops are at their y
    std::vector<QPoint> points_;  // one axis's polyline, reused by every paint

    SegmentDisplay* speedDisplay_ = nullptr;  // child widget
    PictureStatic* unitLabel_ = nullptr;      // child widget
};

}  // namespace velmaro
