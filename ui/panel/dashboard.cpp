// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/panel/dashboard.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QRegion>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <utility>

#include "app/language_table.h"
#include "controls/picture_static.h"
#include "controls/segment_chars.h"
#include "controls/segment_display.h"
#include "controls/skin.h"

namespace velmaro {
namespace {

constexpr double kCompactScale = 0.75;
constexpr int kCompactMode = 0;

// Panel positions at full size; the compact layout scales them.
constexpr QRect kGraphRect(9, 281, 251, 73);
constexpr QRect kDialRect(25, 20, 216, 209);
constexpr QRect kSpeedDisplayRect(10, 371, 160, 50);
constexpr QRect kUnitLabelRect(185, 381, 52, 20);
constexpr int kHistoryAtFullSize = 220;

// The graph: samples from x = 30, the value 0 at y = 38, five units over 33 pixels.
constexpr int kGraphLeft = 30;
constexpr int kGraphBase = 38;
constexpr int kGraphSpan = 33;
constexpr double kGraphUnitsPerSpan = 5.0;
// Offsets beyond this are far outside the graph whatever the scale; it keeps absurd samples
// (1e300, infinities) within int.
constexpr double kGraphMaxOffset = 10000.0;
const QColor kAxisX(255, 0, 0);
const QColor kAxisY(0, 255, 0);
const QColor kAxisZ(0, 64, 255);
// The latest values sit in the graph's bottom band, left to right X, Y, Z.
constexpr std::array<int, 3> kReadoutX = {30, 110, 190};
constexpr int kReadoutBottomMargin = 3;
constexpr double kReadoutLimit = 9999.0;  // four digits fit each read-out's room
constexpr int kReadoutPixelSize = 9;
constexpr int kCompactReadoutPixelSize = 8;  // 9 scaled down would not be legible

// The dial: the needle turns about (108, 87); the needle bitmap's own pivot is at (7, 43).
constexpr double kPivotX = 108.0;
constexpr double kPivotY = 87.0;
constexpr QPointF kNeedleTopLeft(-7.0, -43.0);
constexpr int kPositionTextX = 56;
constexpr int kCompactPositionTextX = 33;
constexpr int kLatitudeTextY = 178;
constexpr int kLongitudeTextY = 191;
constexpr int kPositionPixelSize = 10;
const QColor kPositionColor(255, 0, 0);

constexpr int kGraphBitmap = 132;
constexpr int kCompactGraphBitmap = 441;
constexpr int kDialBitmap = 156;
constexpr int kCompactDialBitmap = 440;
constexpr int kNeedleBitmap = 158;
constexpr int kMphBadgeBitmap = 167;
constexpr int kKnotBadgeBitmap = 166;

const QColor kSpeedUnlit(24, 16, 16);
const QColor kSpeedLit(0, 255, 0);
const QString kInitialSpeedText = QStringLiteral("000");

constexpr double kKmPerMile = 1.609;
constexpr double kKmPerNauticalMile = 1.852;

double ScaleOf(int uiMode) {
    return uiMode == kCompactMode ? kCompactScale : 1.0;
}

int Truncated(int value, double scale) {
    return static_cast<int>(value * scale);
}

int Rounded(int value, double scale) {
    return static_cast<int>(std::lround(value * scale));
}

QRect TruncatedRect(const QRect& r, double scale) {
    return QRect(Truncated(r.x(), scale), Truncated(r.y(), scale), Truncated(r.width(), scale),
                 Truncated(r.height(), scale));
}

double Finite(double value) {
    return std::isfinite(value) ? value : 0.0;
}

// Pixels above the base line for a value, truncated towards zero.
int GraphOffset(double value, int span) {
    if (std::isnan(value)) {
        return 0;
    }
    const double offset = std::trunc(value / kGraphUnitsPerSpan * span);
    return static_cast<int>(std::clamp(offset, -kGraphMaxOffset, kGraphMaxOffset));
}

QString Coordinate(double value, char positive, char negative) {
    value = Finite(value);
    return QString::asprintf("%12f %c", std::fabs(value), value >= 0.0 ? positive : negative);
}

QImage KeyedNeedle() {
    QImage needle = SkinBitmap(kNeedleBitmap).toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < needle.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(needle.scanLine(y));
        for (int x = 0; x < needle.width(); ++x) {
            if ((line[x] & RGB_MASK) == 0) {
                line[x] = qRgba(0, 0, 0, 0);
            }
        }
    }
    return needle.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QFont FixedFont(int pixelSize) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(std::max(pixelSize, 1));
    return font;
}

int64_t SteadyMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

QString FormatSpeed(double kmh, int unitOfSpeed) {
    double speed = Finite(kmh);
    if (unitOfSpeed == kSpeedMph) {
        speed /= kKmPerMile;
    } else if (unitOfSpeed == kSpeedKnot) {
        speed /= kKmPerNauticalMile;
    }
    return QString::asprintf("%3.0f", speed);
}

namespace {

QString Text(const char* key) {
    return QString::fromStdString(GetLanguageString(key));
}

QString UnitSymbol(int unitOfSpeed) {
    switch (unitOfSpeed) {
        case kSpeedMph:
            return QStringLiteral("mph");
        case kSpeedKnot:
            return QStringLiteral("kn");
        default:
            return QStringLiteral("km/h");
    }
}

// A read-out, not a control: screen readers present it as text.
QAccessibleInterface* DashboardAccessFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("velmaro::Dashboard")) {
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::StaticText);
    }
    return nullptr;
}

}  // namespace

QString FormatLatitude(double latitude) {
    return Coordinate(latitude, 'N', 'S');
}

QString FormatLongitude(double longitude) {
    return Coordinate(longitude, 'E', 'W');
}

QString FormatGValue(char axis, double value) {
    if (value > kReadoutLimit) {
        return QStringLiteral("%1: >%2").arg(axis).arg(kReadoutLimit);
    }
    if (value < -kReadoutLimit) {
        return QStringLiteral("%1: <%2").arg(axis).arg(-kReadoutLimit);
    }
    // Adding 0 turns a truncated -0.4 into 0, not "-0".
    return QStringLiteral("%1: %2").arg(axis).arg(std::isnan(value) ? 0 : std::trunc(value) + 0.0);
}

QRect Dashboard::GraphRect(int uiMode) {
    const double s = ScaleOf(uiMode);
    return QRect(Rounded(kGraphRect.x(), s), Rounded(kGraphRect.y(), s),
                 Rounded(kGraphRect.width(), s), Rounded(kGraphRect.height(), s));
}

QRect Dashboard::DialRect(int uiMode) {
    return TruncatedRect(kDialRect, ScaleOf(uiMode));
}

QRect Dashboard::SpeedDisplayRect(int uiMode) {
    return TruncatedRect(kSpeedDisplayRect, ScaleOf(uiMode));
}

QRect Dashboard::UnitLabelRect(int uiMode) {
    return TruncatedRect(kUnitLabelRect, ScaleOf(uiMode));
}

QRect Dashboard::Area(int uiMode) {
    return GraphRect(uiMode) | DialRect(uiMode) | SpeedDisplayRect(uiMode) | UnitLabelRect(uiMode);
}

Dashboard::Layout Dashboard::MakeLayout(int uiMode) {
    const double s = ScaleOf(uiMode);
    Layout layout;
    layout.graph = GraphRect(uiMode);
    layout.dial = DialRect(uiMode);
    layout.speedDisplay = SpeedDisplayRect(uiMode);
    layout.unitLabel = UnitLabelRect(uiMode);
    layout.graphLeft = Truncated(kGraphLeft, s);
    layout.graphBase = Truncated(kGraphBase, s);
    layout.graphSpan = Truncated(kGraphSpan, s);
    layout.needlePivot = QPointF(kPivotX * s, kPivotY * s);
    layout.positionTextX = uiMode == kCompactMode ? kCompactPositionTextX : kPositionTextX;
    layout.latitudeTextY = Truncated(kLatitudeTextY, s);
    layout.longitudeTextY = Truncated(kLongitudeTextY, s);
    layout.readoutY = layout.graph.height() - Truncated(kReadoutBottomMargin, s);
    for (size_t i = 0; i < kReadoutX.size(); ++i) {
        layout.readoutX[i] = Truncated(kReadoutX[i], s);
    }
    return layout;
}

Dashboard::Dashboard(int uiMode, QWidget* parent, TickSource ticks)
    : QWidget(parent),
      uiMode_(uiMode),
      scale_(ScaleOf(uiMode)),
      historyCapacity_(static_cast<size_t>(Truncated(kHistoryAtFullSize, scale_))),
      layout_(MakeLayout(uiMode)),
      ticks_(ticks ? std::move(ticks) : TickSource(SteadyMilliseconds)),
      graphBackground_(SkinBitmap(uiMode == kCompactMode ? kCompactGraphBitmap : kGraphBitmap)),
      dialBackground_(SkinBitmap(uiMode == kCompactMode ? kCompactDialBitmap : kDialBitmap)),
      needle_(KeyedNeedle()),
      readoutFont_(
          FixedFont(uiMode == kCompactMode ? kCompactReadoutPixelSize : kReadoutPixelSize)),
      positionFont_(FixedFont(Rounded(kPositionPixelSize, scale_))) {
    // The panel underneath takes every click and drag; Tab stops here to have it read out.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::TabFocus);
    static const bool accessInstalled = [] {
        QAccessible::installFactory(DashboardAccessFactory);
        return true;
    }();
    (void)accessInstalled;
    setAccessibleName(Text("Dashboard"));
    points_.reserve(historyCapacity_);
    positionAscent_ = QFontMetrics(positionFont_).ascent();

    speedDisplay_ = new SegmentDisplay(this);
    speedDisplay_->SetColor(kSpeedUnlit, kSpeedLit);
    speedDisplay_->SetRegionFlag(true);
    speedDisplay_->ModifyStyleBits(0, kDigiForce14Segment | kDigiKeepProportions);
    speedDisplay_->SetText(kInitialSpeedText);

    unitLabel_ = new PictureStatic(this);
    unitLabel_->hide();

    setGeometry(Area(uiMode));
    PlaceChildren();
}

Dashboard::~Dashboard() = default;

void Dashboard::OnTelemetry(const GSensorRecord& sample, const GpsRecord& latestFix) {
    gHistory_.push_back(sample);
    while (gHistory_.size() > historyCapacity_) {
        gHistory_.pop_front();
    }
    const int64_t now = ticks_();
    if (lastPaintTick_ && now - *lastPaintTick_ <= kDashboardRepaintIntervalMs) {
        return;
    }
    lastPaintTick_ = now;
    ShowFix(latestFix);
}

void Dashboard::Reset() {
    ShowFix(GpsRecord{});
}

void Dashboard::ApplySpeedUnit(int unitOfSpeed) {
    switch (unitOfSpeed) {
        case kSpeedMph:
            unitLabel_->SetPicture(kMphBadgeBitmap);
            unitLabel_->show();
            break;
        case kSpeedKnot:
            unitLabel_->SetPicture(kKnotBadgeBitmap);
            unitLabel_->show();
            break;
        default:
            unitOfSpeed = kSpeedKmh;
            unitLabel_->hide();
            break;
    }
    unitOfSpeed_ = unitOfSpeed;
    ShowSpeed();
}

// Fields that are not numbers (a camera that writes "nan") would turn the needle into nothing
// and the read-outs into letters; they count as 0.
void Dashboard::ShowFix(const GpsRecord& fix) {
    fix_.latitude = Finite(fix.latitude);
    fix_.longitude = Finite(fix.longitude);
    fix_.speed = Finite(fix.speed);
    fix_.course = Finite(fix.course);
    ShowSpeed();
    UpdateGauges();
}

void Dashboard::ShowSpeed() {
    speedDisplay_->SetText(FormatSpeed(fix_.speed, unitOfSpeed_));
    setAccessibleDescription(Reading());
}

QString Dashboard::Reading() const {
    return QStringLiteral("%1 %2 %3, %4 %5°, %6 %7, %8")
        .arg(Text("Speed"), FormatSpeed(fix_.speed, unitOfSpeed_).trimmed(),
             UnitSymbol(unitOfSpeed_), Text("Heading"))
        .arg(std::lround(fix_.course))
        .arg(Text("Position"), FormatLatitude(fix_.latitude).trimmed(),
             FormatLongitude(fix_.longitude).trimmed());
}

void Dashboard::UpdateGauges() {
    update(QRegion(layout_.graph.translated(-pos())) + layout_.dial.translated(-pos()));
}

void Dashboard::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    PlaceChildren();
}

void Dashboard::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceChildren();
}

void Dashboard::PlaceChildren() {
    speedDisplay_->setGeometry(layout_.speedDisplay.translated(-pos()));
    unitLabel_->setGeometry(layout_.unitLabel.translated(-pos()));
}

void Dashboard::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.save();
    painter.translate(-pos());  // draw in the panel's coordinates
    PaintDashboard(painter);
    painter.restore();
    if (hasFocus()) {
        DrawFocusRing(painter, rect());
    }
}

void Dashboard::PaintDashboard(QPainter& painter) {
    PaintGraph(painter);
    PaintDial(painter);
}

void Dashboard::PaintGraph(QPainter& painter) {
    painter.save();
    painter.setClipRect(layout_.graph);
    painter.translate(layout_.graph.topLeft());
    DrawSkin(painter, QPoint(0, 0), graphBackground_);
    PaintAxis(painter, &GSensorRecord::x, kAxisX);
    PaintAxis(painter, &GSensorRecord::y, kAxisY);
    PaintAxis(painter, &GSensorRecord::z, kAxisZ);
    PaintReadouts(painter);
    painter.restore();
}

void Dashboard::PaintAxis(QPainter& painter, double GSensorRecord::*axis, QColor color) {
    points_.clear();
    int x = layout_.graphLeft;
    for (const GSensorRecord& sample : gHistory_) {
        points_.emplace_back(x++, layout_.graphBase - GraphOffset(sample.*axis, layout_.graphSpan));
    }
    painter.setPen(QPen(color, 0));
    painter.drawPolyline(points_.data(), static_cast<int>(points_.size()));
}

void Dashboard::PaintReadouts(QPainter& painter) {
    if (gHistory_.empty()) {
        return;
    }
    const GSensorRecord& newest = gHistory_.back();
    const std::array<std::pair<char, double>, 3> values = {
        std::pair{'X', newest.x}, std::pair{'Y', newest.y}, std::pair{'Z', newest.z}};
    const std::array<QColor, 3> colors = {kAxisX, kAxisY, kAxisZ};
    painter.setFont(readoutFont_);
    for (size_t i = 0; i < values.size(); ++i) {
        painter.setPen(colors[i]);
        painter.drawText(QPoint(layout_.readoutX[i], layout_.readoutY),
                         FormatGValue(values[i].first, values[i].second));
    }
}

void Dashboard::PaintDial(QPainter& painter) {
    painter.save();
    painter.setClipRect(layout_.dial);
    painter.translate(layout_.dial.topLeft());
    DrawSkin(painter, QPoint(0, 0), dialBackground_);

    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(layout_.needlePivot);
    painter.rotate(fix_.course);  // clockwise on screen, north up
    painter.drawImage(kNeedleTopLeft, needle_);
    painter.restore();

    painter.setFont(positionFont_);
    painter.setPen(kPositionColor);
    painter.drawText(QPoint(layout_.positionTextX, layout_.latitudeTextY + positionAscent_),
                     FormatLatitude(fix_.latitude));
    painter.drawText(QPoint(layout_.positionTextX, layout_.longitudeTextY + positionAscent_),
                     FormatLongitude(fix_.longitude));
    painter.restore();
}

}  // namespace velmaro
