// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What a generated card holds, frame by frame, and what the reader must deliver from it: the
// pictures of each file as the generator wrote them, and the sequence of groups that backward
// delivery owes from a given picture back to the start of the card. Shared by the reader tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "reader_harness.h"
#include "stream/frame_item.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro::test {

constexpr double kPtsClock = 90000.0;
constexpr double kPtsTolerance = 1e-6;

// A card written by the generator into a scratch folder that goes away with it.
class TempCard {
  public:
    explicit TempCard(RecordingOptions options) {
        options.outRoot = dir_.path();
        result = WriteRecording(options);
    }
    // Another series of files in the same folder (other numbers, other stream layout, ...).
    RecordingResult Add(RecordingOptions options) {
        options.outRoot = dir_.path();
        return WriteRecording(options);
    }
    RecordingResult result;

  private:
    TempDir dir_;
};

// The pictures of one file in file order: a key frame every `gop` pictures from its start.
inline std::vector<Delivered> Written(const FileStats& stats, int gop, int fps = 30) {
    const int64_t ticks = static_cast<int64_t>(kPtsClock) / fps;
    std::vector<Delivered> frames;
    for (int i = 0; i < stats.videoFrames; ++i) {
        frames.push_back({i % gop == 0 ? kKindVideoKey : kKindVideoInter,
                          static_cast<double>(stats.firstVideoPts + i * ticks) / kPtsClock, 1, 0});
    }
    return frames;
}

// One group of pictures owed by backward delivery, in forward order.
struct WantGroup {
    std::vector<Delivered> frames;
    // A file's first group: whether the block that begins a file is read backward is not what
    // the tests using this decide, so it may come or not.
    bool optional = false;
};

// Backward delivery from picture `last` of `file` to the start of the first file: the groups
// last-first, the group holding `last` ending with it, each earlier group whole.
inline std::vector<WantGroup> BackwardFrom(const std::vector<FileStats>& stats, int gop,
                                           size_t file, int last) {
    std::vector<WantGroup> want;
    for (size_t f = file + 1; f-- > 0;) {
        const std::vector<Delivered> frames = Written(stats[f], gop);
        const int end = f == file ? last + 1 : static_cast<int>(frames.size());
        for (int g = (end - 1) / gop; g >= 0; --g) {
            const auto first = frames.begin() + g * gop;
            const auto past = frames.begin() + std::min(end, (g + 1) * gop);
            want.push_back({std::vector<Delivered>(first, past), g == 0});
        }
    }
    return want;
}

// The whole card backward from the end of `file`.
inline std::vector<WantGroup> BackwardFromEnd(const std::vector<FileStats>& stats, int gop,
                                              size_t file) {
    return BackwardFrom(stats, gop, file, stats[file].videoFrames - 1);
}

inline bool SameFrame(const Delivered& got, const Delivered& want) {
    return got.kind == want.kind && std::fabs(got.pts - want.pts) < kPtsTolerance;
}

// The delivered pictures as groups, for failure messages: "[pts of the first picture +n]".
inline std::string Summary(const std::vector<Delivered>& got) {
    std::string text;
    for (size_t i = 0; i < got.size(); ++i) {
        size_t n = 1;
        while (i + n < got.size() && got[i + n].kind != kKindVideoKey) {
            ++n;
        }
        char group[64];
        std::snprintf(group, sizeof group, "%s[%s %.4f +%zu]", text.empty() ? "" : " ",
                      got[i].kind == kKindVideoKey ? "key" : "inter", got[i].pts, n - 1);
        text += group;
        i += n - 1;
    }
    return text.empty() ? "nothing" : text;
}

// `got` is exactly the wanted groups one after the other (an optional group may be missing),
// every picture carrying `order`.
inline ::testing::AssertionResult DeliveredAs(const std::vector<Delivered>& got,
                                              const std::vector<WantGroup>& want, int32_t order) {
    size_t at = 0;
    for (const WantGroup& group : want) {
        if (at >= got.size() || !SameFrame(got[at], group.frames.front())) {
            if (group.optional) {
                continue;
            }
            return ::testing::AssertionFailure()
                   << "picture " << at << ": expected the group starting at pts "
                   << group.frames.front().pts << "; delivered: " << Summary(got);
        }
        for (const Delivered& w : group.frames) {
            if (at >= got.size() || !SameFrame(got[at], w) || got[at].order != order) {
                return ::testing::AssertionFailure()
                       << "picture " << at << ": expected pts " << w.pts << " kind " << w.kind
                       << " order " << order << "; delivered: " << Summary(got);
            }
            ++at;
        }
    }
    if (at != got.size()) {
        return ::testing::AssertionFailure()
               << got.size() - at << " pictures more than owed, from picture " << at
               << "; delivered: " << Summary(got);
    }
    return ::testing::AssertionSuccess();
}

}  // namespace velmaro::test
