// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "reader_harness.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::ReaderHarness;

const fs::path kData = VELMARO_DATA_DIR;

std::vector<std::string> FfprobeVideoFlags(const fs::path& file) {
    const std::string command =
        "ffprobe -v error -select_streams v:0 -show_entries packet=flags "
        "-of csv=p=0 '" +
        file.string() + "' 2>/dev/null";
    std::vector<std::string> flags;
    std::istringstream lines(test::RunCommand(command).out);
    for (std::string line; std::getline(lines, line);) {
        // ffprobe puts an empty line after each.
        if (line.starts_with('K') || line.starts_with('_')) {
            flags.push_back(line);
        }
    }
    return flags;
}

// The NAL unit types of each PES of the video PID, in file order (ffprobe's packet order).
std::vector<std::vector<int>> VideoPesNalTypes(const fs::path& file, int videoPid) {
    std::FILE* f = std::fopen(file.c_str(), "rb");
    std::vector<std::vector<int>> types;
    if (!f) {
        return types;
    }
    std::vector<uint8_t> pes;
    auto finish = [&] {
        std::vector<int> t;
        for (size_t i = 0; i + 3 < pes.size(); ++i) {
            if (pes[i] == 0 && pes[i + 1] == 0 && pes[i + 2] == 1) {
                t.push_back(pes[i + 3] & 0x1F);
            }
        }
        types.push_back(t);
    };
    uint8_t p[188];
    bool started = false;
    while (std::fread(p, 1, sizeof p, f) == sizeof p) {
        const int pid = ((p[1] & 0x1F) << 8) | p[2];
        const int afc = (p[3] >> 4) & 3;
        if (p[0] != 0x47 || pid != videoPid || afc == 0 || afc == 2) {
            continue;
        }
        const int offset = afc == 1 ? 4 : 5 + p[4];
        if (p[1] & 0x40) {
            if (started) {
                finish();
            }
            started = true;
            pes.clear();
        }
        if (started && offset < 188) {
            pes.insert(pes.end(), p + offset, p + 188);
        }
    }
    if (started) {
        finish();
    }
    std::fclose(f);
    return types;
}

struct Counts {
    size_t keys = 0;
    size_t inters = 0;
};

// What the player should deliver of the frames ffprobe lists: nothing before the first key
// frame (there is no reference for it), and every one after, the last included.
// ffprobe flags IDR pictures and I pictures with a recovery point as key, as the player does.
Counts ExpectedFromFfprobe(const std::vector<std::string>& flags,
                           const std::vector<std::vector<int>>& nalTypes) {
    Counts c;
    bool keySeen = false;
    for (size_t i = 0; i < flags.size(); ++i) {
        const bool picture = i < nalTypes.size();
        const bool key = flags[i].find('K') != std::string::npos && picture;
        keySeen = keySeen || key;
        if (keySeen) {
            (key ? c.keys : c.inters) += 1;
        }
    }
    return c;
}

TEST(ReaderRealStreams, EveryThirdPartyStreamIsReadAndH264FramesMatchFfprobesKeyFlags) {
    int compared = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kData / "ts")) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".ts" && ext != ".mts")) {
            continue;
        }
        SCOPED_TRACE(entry.path().string());
        ReaderHarness h;
        ASSERT_TRUE(h.Start(entry.path().string()));
        ASSERT_TRUE(h.WaitUntilIdle());
        Counts got;
        for (const test::Delivered& d : h.VideoSince(0)) {
            (d.kind == kKindVideoKey ? got.keys : got.inters) += 1;
        }
        if (!h.reader.PidsKnown() || h.reader.Drops().oversizePes != 0) {
            continue;  // no tables (fragments, 192-byte packets) or declared streams absent
        }
        h.reader.Stop();
        const std::vector<std::string> flags = FfprobeVideoFlags(entry.path());
        const Counts want =
            ExpectedFromFfprobe(flags, VideoPesNalTypes(entry.path(), h.reader.VideoPid()));

        if (flags.empty()) {
            EXPECT_EQ(got.keys + got.inters, 0u);
            continue;
        }
        EXPECT_EQ(got.keys, want.keys);
        EXPECT_EQ(got.inters, want.inters);
        ++compared;
    }
    EXPECT_GE(compared, 10) << "the H.264 streams of the test data were compared";
}

}  // namespace
}  // namespace velmaro
