// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Characters of the segment display: which segments a character lights and the outline of every
// segment in a fixed unit cell, plus the tracing of an outline onto pixels (runs of curve points
// become fitted cubic curves). No widget here, so the geometry can be checked on its own.
#pragma once

#include <QChar>
#include <QPainterPath>
#include <QPointF>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace velmaro {

// Style bits of the segment display.
inline constexpr unsigned kDigiSmooth = 0x01;           // bevelled outlines instead of plain ones
inline constexpr unsigned kDigiForce14Segment = 0x02;   // digits, space, minus as 14 segments
inline constexpr unsigned kDigiKeepProportions = 0x04;  // one scale for both axes, text centred
inline constexpr unsigned kDigiHideUnlit = 0x08;        // unlit segments are not drawn
inline constexpr unsigned kDigiSoftEdges = 0x10;        // outlines blended towards the background
inline constexpr unsigned kDigiDefaultStyle = kDigiKeepProportions | kDigiSoftEdges;

// The unit cell. Outlines of 7- and 14-segment characters span x 0..48 and y 0..82.
inline constexpr int kDigiCellHeight = 83;
inline constexpr int kDigiSegmentCharWidth = 49;
inline constexpr int kDigiColonDotWidth = 18;
inline constexpr int kDigiMirrorAxis = 48;  // mirror: x -> 48 - x
inline constexpr int kDigiFlipAxis = 82;    // flip: y -> 82 - y

inline constexpr int kDigi7SegmentCount = 7;
inline constexpr int kDigi14SegmentCount = 14;
inline constexpr int kDigiColonDotSegmentCount = 3;

// M starts the outline, L draws a straight line, C belongs to a curved run.
enum class PathOp : std::uint8_t { kMove, kLine, kCurve };

struct SegmentPoint {
    PathOp op = PathOp::kMove;
    int x = 0;
    int y = 0;
    friend bool operator==(const SegmentPoint&, const SegmentPoint&) = default;
};

// Transforms of a base outline; mirror and flip combine.
enum SegmentTransform : unsigned {
    kTransformNone = 0,
    kTransformMirror = 1,
    kTransformFlip = 2,
    kTransformMirrorFlip = kTransformMirror | kTransformFlip,
};

SegmentPoint TransformPoint(SegmentPoint p, unsigned transform);

// One segment: its outline in cell units.
class Segment {
  public:
    Segment() = default;
    Segment(std::span<const SegmentPoint> base, unsigned transform);

    const std::vector<SegmentPoint>& Points() const { return points_; }

  private:
    std::vector<SegmentPoint> points_;
};

// One shown character: its width in cell units, its segments and which of them are lit.
class SegmentChar {
  public:
    virtual ~SegmentChar() = default;
    SegmentChar(const SegmentChar&) = delete;
    SegmentChar& operator=(const SegmentChar&) = delete;

    int Width() const { return width_; }
    int SegmentCount() const { return static_cast<int>(segments_.size()); }
    unsigned Mask() const { return mask_; }
    bool HidesUnlit() const { return hideUnlit_; }
    bool IsLit(int segment) const { return (mask_ >> segment) & 1U; }
    const std::vector<Segment>& Segments() const { return segments_; }

  protected:
    SegmentChar(int width, unsigned mask, unsigned style);
    void AddSegment(std::span<const SegmentPoint> base, unsigned transform);

  private:
    int width_;
    unsigned mask_;
    bool hideUnlit_;
    std::vector<Segment> segments_;
};

class SevenSegmentChar : public SegmentChar {
  public:
    SevenSegmentChar(unsigned mask, unsigned style);
};

class FourteenSegmentChar : public SegmentChar {
  public:
    FourteenSegmentChar(unsigned mask, unsigned style);
};

class ColonDotChar : public SegmentChar {
  public:
    ColonDotChar(unsigned mask, unsigned style);
};

// Segment masks per character; nothing for characters outside each set.
std::optional<unsigned> SevenSegmentMask(QChar c);
std::optional<unsigned> FourteenSegmentMask(QChar c);
std::optional<unsigned> ColonDotMask(QChar c);

// The character object for c under the given style bits; null for characters that are not shown.
std::unique_ptr<SegmentChar> MakeDigiChar(QChar c, unsigned style);

using DigiChars = std::vector<std::unique_ptr<SegmentChar>>;
DigiChars BuildDigiChars(const QString& text, unsigned style);
int TextWidthUnits(const DigiChars& chars);

// Where cell units land on the control: pixel = unit * scale + origin, per axis.
struct DigiPlacement {
    double sx = 0.0;
    double sy = 0.0;
    double originX = 0.0;
    double originY = 0.0;
};

// Scales a text of the given width in units to a client area; an empty text gets zero scales.
DigiPlacement PlaceDigiText(int clientWidth, int clientHeight, int textUnits, unsigned style);

// Pixel outline of one segment of a character whose left edge is at charLeft (in pixels).
QPainterPath TraceSegment(const Segment& segment, const DigiPlacement& placement, double charLeft);

struct CubicControls {
    QPointF c1;
    QPointF c2;
};

// Sum of squared distances from the run's points to the cubic curve p0, c1, c2, pn.
double CubicFitError(QPointF p0, const CubicControls& controls, QPointF pn,
                     std::span<const QPointF> run);

// Control points of a cubic curve from p0 to pn that passes close to the run's points.
CubicControls FitCubic(QPointF p0, std::span<const QPointF> run, QPointF pn);

}  // namespace velmaro
