// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/make_recording/footage_picture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

extern "C" {
#include <libavutil/frame.h>
}

namespace velmaro {
namespace {

// The scene is this much wider than the picture, so a row wraps around only now and then.
constexpr int kSceneWidths = 2;
// Detail from coarse to fine: lattice cells in scene pixels, each octave half as strong as
// the one before it at twice the frequency (roughly what natural scenes show).
constexpr int kCells[] = {256, 128, 64, 32, 16, 8, 4, 2};
constexpr double kFineAmplitude = 0.55;  // an octave's weight relative to the next coarser one
// Horizontal drift in pixels per picture, in bands of their own speed (layers at different
// distances): slow at the top (far away), fast at the bottom (the road in front of the car).
constexpr int kBands = 9;
constexpr double kFarSpeed = 0.75;
constexpr double kNearSpeed = 9.0;
// The camera bobs up and down by this many rows, one cycle every 90 pictures or so.
constexpr int kSway = 12;
constexpr double kSwayPerPicture = 0.07;
// Sensor noise, standard deviation in luma codes (chroma gets half).
constexpr double kNoiseSigma = 3.0;
constexpr int kNoiseLimit = 12;
// Shapes in the scene: buildings, cars, signs.
constexpr int kShapesPerMegapixel = 60;
constexpr int kLaneDash = 160;
constexpr int kLaneGap = 140;
// Codes kept clear of the ends of limited range so that noise never needs clamping.
constexpr int kLumaLow = 16 + kNoiseLimit;
constexpr int kLumaHigh = 235 - kNoiseLimit;
constexpr int kChromaLow = 16 + kNoiseLimit;
constexpr int kChromaHigh = 240 - kNoiseLimit;

double Smooth(double t) {
    return t * t * (3.0 - 2.0 * t);
}

int AlignUp(int value, int align) {
    return (value + align - 1) / align * align;
}

// One octave of value noise, periodic across the plane's width, added to `sum`.
void AddOctave(std::vector<float>& sum, int width, int height, int cell, double amplitude,
               std::mt19937& rng) {
    const int columns = width / cell;
    const int rows = height / cell + 2;
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    std::vector<float> lattice(static_cast<size_t>(columns) * rows);
    for (float& v : lattice) {
        v = value(rng);
    }
    const auto at = [&](int column, int row) {
        return lattice[static_cast<size_t>(row) * columns + column % columns];
    };
    for (int y = 0; y < height; ++y) {
        const int row = y / cell;
        const double fy = Smooth(static_cast<double>(y % cell) / cell);
        float* out = sum.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            const int column = x / cell;
            const double fx = Smooth(static_cast<double>(x % cell) / cell);
            const double top = at(column, row) + (at(column + 1, row) - at(column, row)) * fx;
            const double bottom =
                at(column, row + 1) + (at(column + 1, row + 1) - at(column, row + 1)) * fx;
            out[x] += static_cast<float>(amplitude * (top + (bottom - top) * fy));
        }
    }
}

// The normal distribution's quantile at p, by bisection on erf (used 256 times at start-up).
double NormalQuantile(double p) {
    double low = -8.0;
    double high = 8.0;
    for (int step = 0; step < 60; ++step) {
        const double mid = (low + high) / 2;
        (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p ? low : high) = mid;
    }
    return (low + high) / 2;
}

}  // namespace

void FootagePicture::Init(int width, int height, uint32_t seed) {
    width_ = width;
    height_ = height;
    const int sceneWidth = AlignUp(width * kSceneWidths, 2 * kCells[0]);
    const int sceneHeight = height + 2 * kSway + 2;
    BuildPlane(luma_, sceneWidth, sceneHeight, (kLumaLow + kLumaHigh) / 2,
               (kLumaHigh - kLumaLow) / 2, seed);
    BuildPlane(chromaU_, sceneWidth / 2, (sceneHeight + 1) / 2, 128, 22, seed + 1);
    BuildPlane(chromaV_, sceneWidth / 2, (sceneHeight + 1) / 2, 128, 22, seed + 2);
    AddShapes(seed + 3);
    noiseState_ = (uint64_t{seed} << 32) ^ 0x9E3779B97F4A7C15ull;
    for (int i = 0; i < 256; ++i) {
        const double noise = kNoiseSigma * NormalQuantile((i + 0.5) / 256.0);
        noiseTable_[i] = static_cast<int8_t>(
            std::clamp(static_cast<int>(std::lround(noise)), -kNoiseLimit, kNoiseLimit));
    }
}

// Value noise over all octaves, stretched to base +- contrast.
void FootagePicture::BuildPlane(Plane& plane, int width, int height, int base, int contrast,
                                uint32_t seed) {
    plane.width = width;
    plane.height = height;
    std::vector<float> sum(static_cast<size_t>(width) * height, 0.0f);
    std::mt19937 rng(seed);
    double amplitude = 1.0;
    double total = 0.0;
    for (const int cell : kCells) {
        AddOctave(sum, width, height, std::min(cell, width), amplitude, rng);
        total += amplitude;
        amplitude *= kFineAmplitude;
    }
    plane.bytes.resize(sum.size());
    // Value noise rarely strays beyond half its possible range; scale that to the contrast.
    const double scale = 2.0 * contrast / total;
    for (size_t i = 0; i < sum.size(); ++i) {
        plane.bytes[i] =
            static_cast<uint8_t>(std::clamp(static_cast<int>(std::lround(base + scale * sum[i])),
                                            base - contrast, base + contrast));
    }
}

// Hard-edged shapes of their own brightness and colour, keeping the fine texture under them,
// and the dashes of a lane marking along the bottom.
void FootagePicture::AddShapes(uint32_t seed) {
    std::mt19937 rng(seed);
    const int count = static_cast<int>(static_cast<int64_t>(luma_.width) * luma_.height *
                                       kShapesPerMegapixel / 1000000);
    std::uniform_int_distribution<int> level(kLumaLow + 10, kLumaHigh - 10);
    std::uniform_int_distribution<int> tint(-28, 28);
    std::uniform_int_distribution<int> side(4, 80);
    const int base = (kLumaLow + kLumaHigh) / 2;
    auto fill = [&](int x0, int y0, int w, int h, int luma, int u, int v) {
        for (int y = std::max(0, y0); y < std::min(luma_.height, y0 + h); ++y) {
            uint8_t* row = luma_.bytes.data() + static_cast<size_t>(y) * luma_.width;
            for (int x = std::max(0, x0); x < std::min(luma_.width, x0 + w); ++x) {
                row[x] = static_cast<uint8_t>(
                    std::clamp(luma + (row[x] - base) / 3, kLumaLow, kLumaHigh));
            }
        }
        for (int y = std::max(0, y0 / 2); y < std::min(chromaU_.height, (y0 + h) / 2); ++y) {
            for (int x = std::max(0, x0 / 2); x < std::min(chromaU_.width, (x0 + w) / 2); ++x) {
                const size_t at = static_cast<size_t>(y) * chromaU_.width + x;
                chromaU_.bytes[at] = static_cast<uint8_t>(std::clamp(u, kChromaLow, kChromaHigh));
                chromaV_.bytes[at] = static_cast<uint8_t>(std::clamp(v, kChromaLow, kChromaHigh));
            }
        }
    };
    std::uniform_int_distribution<int> x(0, luma_.width - 1);
    std::uniform_int_distribution<int> y(0, luma_.height - 1);
    for (int i = 0; i < count; ++i) {
        const int w = side(rng) * 2;
        fill(x(rng), y(rng), w, side(rng) * 3 / 2, level(rng), 128 + tint(rng), 128 + tint(rng));
    }
    const int laneTop = luma_.height * 5 / 6;
    for (int x0 = 0; x0 < luma_.width; x0 += kLaneDash + kLaneGap) {
        fill(x0, laneTop, kLaneDash, luma_.height / 40 + 2, kLumaHigh - 8, 128, 128);
    }
}

// How far row `row` of `rows` has drifted by picture `index`.
int FootagePicture::RowShift(int64_t index, int row, int rows) const {
    const double depth = (row * kBands / rows + 0.5) / kBands;
    const double speed = kFarSpeed + (kNearSpeed - kFarSpeed) * depth * depth;
    return static_cast<int>(static_cast<int64_t>(index * speed) % luma_.width);
}

uint64_t FootagePicture::NextRandom() {  // xorshift64*
    noiseState_ ^= noiseState_ >> 12;
    noiseState_ ^= noiseState_ << 25;
    noiseState_ ^= noiseState_ >> 27;
    return noiseState_ * 0x2545F4914F6CDD1Dull;
}

void FootagePicture::DrawPlane(const Plane& scene, int64_t index, int sway, int noiseShift,
                               uint8_t* out, int stride, int width, int height) {
    const int scale = luma_.width / scene.width;  // 1 for luma, 2 for chroma
    for (int y = 0; y < height; ++y) {
        const uint8_t* from = scene.Row(y + sway);
        const int shift = RowShift(index, y * scale, height * scale) / scale;
        uint8_t* row = out + static_cast<ptrdiff_t>(y) * stride;
        const int first = std::min(width, scene.width - shift);
        std::memcpy(row, from + shift, first);
        std::memcpy(row + first, from, width - first);
        for (int x = 0; x < width; x += 8) {
            uint64_t bytes = NextRandom();
            for (int i = 0; i < 8 && x + i < width; ++i, bytes >>= 8) {
                row[x + i] =
                    static_cast<uint8_t>(row[x + i] + (noiseTable_[bytes & 0xFF] >> noiseShift));
            }
        }
    }
}

void FootagePicture::Draw(int64_t index, AVFrame* frame) {
    const int sway =
        kSway + static_cast<int>(std::lround(kSway * std::sin(index * kSwayPerPicture)));
    DrawPlane(luma_, index, sway, 0, frame->data[0], frame->linesize[0], width_, height_);
    const int chromaWidth = (width_ + 1) / 2;
    const int chromaHeight = (height_ + 1) / 2;
    DrawPlane(chromaU_, index, sway / 2, 1, frame->data[1], frame->linesize[1], chromaWidth,
              chromaHeight);
    DrawPlane(chromaV_, index, sway / 2, 1, frame->data[2], frame->linesize[2], chromaWidth,
              chromaHeight);
}

}  // namespace velmaro
