// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/segment_chars.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <utility>

namespace velmaro {
namespace {

constexpr SegmentPoint M(int x, int y) {
    return {PathOp::kMove, x, y};
}
constexpr SegmentPoint L(int x, int y) {
    return {PathOp::kLine, x, y};
}
constexpr SegmentPoint C(int x, int y) {
    return {PathOp::kCurve, x, y};
}

// 7-segment base outlines.
constexpr std::array k7PlainH{M(5, 4), L(12, 11), L(36, 11), L(43, 4)};
constexpr std::array k7PlainV{M(4, 6), L(4, 40), L(11, 36), L(11, 13)};
constexpr std::array k7PlainMid{M(6, 41), L(14, 45), L(34, 45), L(42, 41), L(34, 37), L(14, 37)};
constexpr std::array k7SmoothH{M(6, 4), C(5, 5), C(5, 6), C(8, 9), L(12, 11), L(36, 11), L(39, 4)};
constexpr std::array k7SmoothV{M(4, 9),  L(4, 39),  C(6, 40), C(7, 40),
                               C(9, 38), L(11, 36), L(11, 12)};
// The smooth right vertical is drawn on its own rather than mirrored: its bevels differ.
constexpr std::array k7SmoothR{M(37, 36), C(39, 38), C(41, 40), L(42, 40), L(44, 39),
                               L(44, 6),  C(42, 4),  C(41, 4),  C(39, 8),  L(37, 12)};
constexpr std::array k7SmoothMid{M(8, 41), L(12, 45), L(36, 45), L(40, 41), L(36, 37), L(12, 37)};

// 14-segment base outlines.
constexpr std::array k14PlainCV{M(20, 13), L(20, 36), L(24, 40), L(28, 36), L(28, 13)};
constexpr std::array k14PlainDG{M(5, 5), L(15, 35), L(20, 37), L(18, 25)};
constexpr std::array k14PlainMH{M(6, 41), L(14, 45), L(18, 45), L(22, 41), L(18, 37), L(14, 37)};
constexpr std::array k14PlainOV{M(4, 7), L(4, 40), L(11, 36), L(11, 26)};
constexpr std::array k14PlainHZ{M(6, 4), L(11, 11), L(37, 11), L(42, 4)};
constexpr std::array k14SmoothCV{M(20, 12), L(20, 25), C(22, 36), C(23, 39), C(24, 40),
                                 C(25, 39), C(26, 36), L(28, 25), L(28, 12), C(26, 10),
                                 C(24, 9),  C(22, 10), L(20, 12)};
constexpr std::array k14SmoothDG{M(10, 10), C(10, 13), C(11, 20), C(13, 28), L(21, 38),
                                 L(21, 37), C(19, 26), C(15, 16), C(11, 10), L(10, 10)};
constexpr std::array k14SmoothMH{M(8, 41), L(12, 45), L(16, 45), L(23, 41), L(16, 37), L(12, 37)};
constexpr std::array k14SmoothOV{M(4, 7),   L(4, 39),  C(5, 40), C(6, 40), C(9, 37),
                                 C(11, 33), L(11, 25), C(9, 14), C(5, 6),  L(4, 7)};
constexpr std::array k14SmoothHZ{M(8, 4),   C(7, 5),  C(7, 6),  C(9, 8),  C(12, 9),  L(14, 11),
                                 L(19, 11), C(21, 9), C(24, 7), C(27, 9), L(29, 11), L(34, 11),
                                 C(36, 9),  C(39, 8), C(41, 6), C(41, 5), L(40, 4)};

// Colon and dot cell: the same squares for plain and smooth outlines.
constexpr std::array kColonUpper{M(4, 23), L(4, 32), L(13, 32), L(13, 23)};
constexpr std::array kColonLower{M(4, 50), L(4, 59), L(13, 59), L(13, 50)};
constexpr std::array kDecimalPoint{M(4, 68), L(4, 77), L(13, 77), L(13, 68)};

struct MaskEntry {
    char c;
    unsigned sevenSegment;
    unsigned fourteenSegment;
};

// Characters that have both forms.
constexpr std::array kDigitMasks{
    MaskEntry{' ', 0x00, 0x0000}, MaskEntry{'0', 0x77, 0x3F00}, MaskEntry{'1', 0x24, 0x1800},
    MaskEntry{'2', 0x5D, 0x36C0}, MaskEntry{'3', 0x6D, 0x3CC0}, MaskEntry{'4', 0x2E, 0x19C0},
    MaskEntry{'5', 0x6B, 0x2DC0}, MaskEntry{'6', 0x7B, 0x2FC0}, MaskEntry{'7', 0x25, 0x3800},
    MaskEntry{'8', 0x7F, 0x3FC0}, MaskEntry{'9', 0x6F, 0x3DC0}, MaskEntry{'-', 0x08, 0x00C0},
};

// Upper-case letters A..Z, in order.
constexpr std::array<unsigned, 26> kLetterMasks{
    0x3BC0, 0x3CA1, 0x2700, 0x3C21, 0x27C0, 0x23C0, 0x2F80, 0x1BC0, 0x2421,
    0x1E00, 0x0354, 0x0700, 0x1B06, 0x1B12, 0x3F00, 0x33C0, 0x3F10, 0x33D0,
    0x2DC0, 0x2021, 0x1F00, 0x030C, 0x1B18, 0x001E, 0x11E0, 0x240C,
};

struct SymbolMask {
    char c;
    unsigned mask;
};
constexpr std::array kSymbolMasks{
    SymbolMask{'*', 0x00FF},  SymbolMask{'+', 0x00E1},  SymbolMask{'(', 0x0014},
    SymbolMask{')', 0x000A},  SymbolMask{'\\', 0x0012}, SymbolMask{'/', 0x000C},
    SymbolMask{'\'', 0x0001},
};

constexpr unsigned kColonMask = 0x03;
constexpr unsigned kDotMask = 0x04;

template <size_t kPlain, size_t kSmooth>
std::span<const SegmentPoint> PickOutline(bool smooth,
                                          const std::array<SegmentPoint, kPlain>& plain,
                                          const std::array<SegmentPoint, kSmooth>& bevelled) {
    if (smooth) {
        return bevelled;
    }
    return plain;
}

const MaskEntry* FindDigitEntry(QChar c) {
    for (const MaskEntry& entry : kDigitMasks) {
        if (c == QLatin1Char(entry.c)) {
            return &entry;
        }
    }
    return nullptr;
}

// Curve fitting: the nearest point of the curve to a run point is found by sampling, then
// narrowed by a golden-section search around the best sample.
constexpr int kNearestSamples = 32;
constexpr int kNearestRefineSteps = 16;
constexpr double kGoldenRatio = 0.6180339887498949;
constexpr double kFitFirstStep = 0.5;
constexpr double kFitStepReversal = -1.0 / 3.0;
constexpr double kFitSmallestStep = 0.01;
constexpr int kFitRounds = 2;
constexpr int kFitMaxTries = 200;  // a coordinate pulled towards its anchor converges slowly

QPointF CubicPoint(QPointF p0, const CubicControls& k, QPointF pn, double t) {
    const double u = 1.0 - t;
    return u * u * u * p0 + 3.0 * u * u * t * k.c1 + 3.0 * u * t * t * k.c2 + t * t * t * pn;
}

double SquaredDistance(QPointF a, QPointF b) {
    const QPointF d = a - b;
    return QPointF::dotProduct(d, d);
}

double NearestSquaredDistance(QPointF p0, const CubicControls& k, QPointF pn, QPointF q) {
    auto at = [&](double t) { return SquaredDistance(CubicPoint(p0, k, pn, t), q); };
    double bestT = 0.0;
    double best = at(0.0);
    for (int i = 1; i <= kNearestSamples; ++i) {
        const double t = static_cast<double>(i) / kNearestSamples;
        const double d = at(t);
        if (d < best) {
            best = d;
            bestT = t;
        }
    }
    double lo = std::max(0.0, bestT - 1.0 / kNearestSamples);
    double hi = std::min(1.0, bestT + 1.0 / kNearestSamples);
    for (int i = 0; i < kNearestRefineSteps; ++i) {
        const double a = hi - kGoldenRatio * (hi - lo);
        const double b = lo + kGoldenRatio * (hi - lo);
        if (at(a) < at(b)) {
            hi = b;
        } else {
            lo = a;
        }
    }
    return std::min(best, at((lo + hi) / 2.0));
}

// One coordinate of a control point: moved away from or towards its anchor while that lowers
// the error, with the step reversed and shortened whenever a try makes it worse.
void ImproveCoordinate(double& v, double anchor, double& error,
                       const std::function<double()>& evaluate) {
    double step = kFitFirstStep;
    for (int tries = 0; std::abs(step) >= kFitSmallestStep && tries < kFitMaxTries; ++tries) {
        const double kept = v;
        v = kept + step * (kept - anchor);
        const double tried = evaluate();
        if (tried == error) {
            return;
        }
        if (tried > error) {
            v = kept;
            step *= kFitStepReversal;
        } else {
            error = tried;
        }
    }
}

QPointF ToPixel(const SegmentPoint& p, const DigiPlacement& placement, double charLeft) {
    return QPointF(std::round(p.x * placement.sx + charLeft),
                   std::round(p.y * placement.sy + placement.originY));
}

// Replaces the run of curve points starting at first by one fitted cubic curve that ends on the
// point after the run; returns the index after that point. A run with nothing after it has
// nowhere to end, so its corners are kept as lines.
template <typename PixelOf>
size_t AppendCurveRun(QPainterPath& path, const std::vector<SegmentPoint>& points, size_t first,
                      const PixelOf& pixel) {
    std::vector<QPointF> run;
    size_t end = first;
    for (; end < points.size() && points[end].op == PathOp::kCurve; ++end) {
        run.push_back(pixel(end));
    }
    if (end == points.size()) {
        for (const QPointF& q : run) {
            path.lineTo(q);
        }
        return end;
    }
    const QPointF pn = pixel(end);
    const CubicControls k = FitCubic(path.currentPosition(), run, pn);
    path.cubicTo(k.c1, k.c2, pn);
    return end + 1;
}

}  // namespace

SegmentPoint TransformPoint(SegmentPoint p, unsigned transform) {
    if (transform & kTransformMirror) {
        p.x = kDigiMirrorAxis - p.x;
    }
    if (transform & kTransformFlip) {
        p.y = kDigiFlipAxis - p.y;
    }
    return p;
}

Segment::Segment(std::span<const SegmentPoint> base, unsigned transform) {
    points_.reserve(base.size());
    for (const SegmentPoint& p : base) {
        points_.push_back(TransformPoint(p, transform));
    }
}

SegmentChar::SegmentChar(int width, unsigned mask, unsigned style)
    : width_(width), mask_(mask), hideUnlit_((style & kDigiHideUnlit) != 0) {}

void SegmentChar::AddSegment(std::span<const SegmentPoint> base, unsigned transform) {
    segments_.emplace_back(base, transform);
}

SevenSegmentChar::SevenSegmentChar(unsigned mask, unsigned style)
    : SegmentChar(kDigiSegmentCharWidth, mask, style) {
    if (style & kDigiSmooth) {
        AddSegment(k7SmoothH, kTransformNone);
        AddSegment(k7SmoothV, kTransformNone);
        AddSegment(k7SmoothR, kTransformNone);
        AddSegment(k7SmoothMid, kTransformNone);
        AddSegment(k7SmoothV, kTransformFlip);
        AddSegment(k7SmoothR, kTransformFlip);
        AddSegment(k7SmoothH, kTransformFlip);
    } else {
        AddSegment(k7PlainH, kTransformNone);
        AddSegment(k7PlainV, kTransformNone);
        AddSegment(k7PlainV, kTransformMirror);
        AddSegment(k7PlainMid, kTransformNone);
        AddSegment(k7PlainV, kTransformFlip);
        AddSegment(k7PlainV, kTransformMirrorFlip);
        AddSegment(k7PlainH, kTransformFlip);
    }
}

FourteenSegmentChar::FourteenSegmentChar(unsigned mask, unsigned style)
    : SegmentChar(kDigiSegmentCharWidth, mask, style) {
    const bool smooth = (style & kDigiSmooth) != 0;
    const auto cv = PickOutline(smooth, k14PlainCV, k14SmoothCV);
    const auto dg = PickOutline(smooth, k14PlainDG, k14SmoothDG);
    const auto mh = PickOutline(smooth, k14PlainMH, k14SmoothMH);
    const auto ov = PickOutline(smooth, k14PlainOV, k14SmoothOV);
    const auto hz = PickOutline(smooth, k14PlainHZ, k14SmoothHZ);
    AddSegment(cv, kTransformNone);
    AddSegment(dg, kTransformNone);
    AddSegment(dg, kTransformMirror);
    AddSegment(dg, kTransformFlip);
    AddSegment(dg, kTransformMirrorFlip);
    AddSegment(cv, kTransformFlip);
    AddSegment(mh, kTransformNone);
    AddSegment(mh, kTransformMirror);
    AddSegment(ov, kTransformNone);
    AddSegment(ov, kTransformFlip);
    AddSegment(hz, kTransformFlip);
    AddSegment(ov, kTransformMirrorFlip);
    AddSegment(ov, kTransformMirror);
    AddSegment(hz, kTransformNone);
}

ColonDotChar::ColonDotChar(unsigned mask, unsigned style)
    : SegmentChar(kDigiColonDotWidth, mask, style) {
    AddSegment(kColonUpper, kTransformNone);
    AddSegment(kColonLower, kTransformNone);
    AddSegment(kDecimalPoint, kTransformNone);
}

std::optional<unsigned> SevenSegmentMask(QChar c) {
    if (const MaskEntry* entry = FindDigitEntry(c)) {
        return entry->sevenSegment;
    }
    return std::nullopt;
}

std::optional<unsigned> FourteenSegmentMask(QChar c) {
    if (const MaskEntry* entry = FindDigitEntry(c)) {
        return entry->fourteenSegment;
    }
    if (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) {
        return kLetterMasks[c.unicode() - u'A'];
    }
    for (const SymbolMask& symbol : kSymbolMasks) {
        if (c == QLatin1Char(symbol.c)) {
            return symbol.mask;
        }
    }
    return std::nullopt;
}

std::optional<unsigned> ColonDotMask(QChar c) {
    if (c == QLatin1Char(':')) {
        return kColonMask;
    }
    if (c == QLatin1Char('.')) {
        return kDotMask;
    }
    return std::nullopt;
}

std::unique_ptr<SegmentChar> MakeDigiChar(QChar c, unsigned style) {
    if (const auto mask = ColonDotMask(c)) {
        return std::make_unique<ColonDotChar>(*mask, style);
    }
    if (const auto mask = SevenSegmentMask(c); mask && !(style & kDigiForce14Segment)) {
        return std::make_unique<SevenSegmentChar>(*mask, style);
    }
    if (const auto mask = FourteenSegmentMask(c)) {
        return std::make_unique<FourteenSegmentChar>(*mask, style);
    }
    return nullptr;
}

DigiChars BuildDigiChars(const QString& text, unsigned style) {
    DigiChars chars;
    for (const QChar c : text) {
        if (auto ch = MakeDigiChar(c, style)) {
            chars.push_back(std::move(ch));
        }
    }
    return chars;
}

int TextWidthUnits(const DigiChars& chars) {
    int units = 0;
    for (const auto& ch : chars) {
        units += ch->Width();
    }
    return units;
}

DigiPlacement PlaceDigiText(int clientWidth, int clientHeight, int textUnits, unsigned style) {
    DigiPlacement placement;
    if (textUnits <= 0 || clientWidth <= 0 || clientHeight <= 0) {
        return placement;  // nothing to scale: only the background shows
    }
    placement.sx = static_cast<double>(clientWidth) / textUnits;
    placement.sy = static_cast<double>(clientHeight) / kDigiCellHeight;
    if (style & kDigiKeepProportions) {
        const double s = std::min(placement.sx, placement.sy);
        placement.sx = s;
        placement.sy = s;
        placement.originX = (clientWidth - textUnits * s) / 2.0;
        placement.originY = (clientHeight - kDigiCellHeight * s) / 2.0;
    }
    return placement;
}

QPainterPath TraceSegment(const Segment& segment, const DigiPlacement& placement, double charLeft) {
    const std::vector<SegmentPoint>& points = segment.Points();
    auto pixel = [&](size_t k) { return ToPixel(points[k], placement, charLeft); };
    QPainterPath path;
    size_t i = 0;
    while (i < points.size()) {
        if (points[i].op == PathOp::kMove || path.elementCount() == 0) {
            path.moveTo(pixel(i++));
        } else if (points[i].op == PathOp::kLine) {
            path.lineTo(pixel(i++));
        } else {
            i = AppendCurveRun(path, points, i, pixel);
        }
    }
    path.closeSubpath();
    return path;
}

double CubicFitError(QPointF p0, const CubicControls& controls, QPointF pn,
                     std::span<const QPointF> run) {
    double error = 0.0;
    for (const QPointF& q : run) {
        error += NearestSquaredDistance(p0, controls, pn, q);
    }
    return error;
}

CubicControls FitCubic(QPointF p0, std::span<const QPointF> run, QPointF pn) {
    if (run.empty()) {
        return {p0, pn};
    }
    CubicControls k{2.0 * run.front() - p0, 2.0 * run.back() - pn};
    double error = CubicFitError(p0, k, pn, run);
    auto evaluate = [&] { return CubicFitError(p0, k, pn, run); };
    for (int round = 0; round < kFitRounds; ++round) {
        ImproveCoordinate(k.c1.rx(), p0.x(), error, evaluate);
        ImproveCoordinate(k.c1.ry(), p0.y(), error, evaluate);
        ImproveCoordinate(k.c2.rx(), pn.x(), error, evaluate);
        ImproveCoordinate(k.c2.ry(), pn.y(), error, evaluate);
    }
    return k;
}

}  // namespace velmaro
