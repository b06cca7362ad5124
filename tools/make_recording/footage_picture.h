// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The "footage" picture of the sample recordings: what a dash camera sees, as far as a decoder
// can tell. A detailed scene (fine texture at several scales, hard-edged shapes in colour) slides
// past faster towards the bottom of the picture, as the road does when driving, while a sensor's
// noise changes every pixel of every picture. Encoded at a camera's bit rate it costs a decoder
// what real recordings cost, where flat synthetic pictures decode many times faster.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct AVFrame;

namespace velmaro {

class FootagePicture {
  public:
    // Builds the scene for pictures of width x height; the same seed gives the same pictures.
    void Init(int width, int height, uint32_t seed);
    // Draws picture `index` into a YUV 4:2:0 frame of the size given to Init.
    void Draw(int64_t index, AVFrame* frame);

  private:
    // A plane of the scene, wider than the picture and wrapping around horizontally.
    struct Plane {
        int width = 0;
        int height = 0;
        std::vector<uint8_t> bytes;
        const uint8_t* Row(int y) const { return bytes.data() + static_cast<size_t>(y) * width; }
    };

    void BuildPlane(Plane& plane, int width, int height, int base, int contrast, uint32_t seed);
    void AddShapes(uint32_t seed);
    int RowShift(int64_t index, int row, int rows) const;
    void DrawPlane(const Plane& scene, int64_t index, int sway, int noiseShift, uint8_t* out,
                   int stride, int width, int height);
    uint64_t NextRandom();

    int width_ = 0;
    int height_ = 0;
    Plane luma_;
    Plane chromaU_;
    Plane chromaV_;
    uint64_t noiseState_ = 1;
    int8_t noiseTable_[256] = {};  // random byte -> noise added, roughly Gaussian
};

}  // namespace velmaro
