// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Late pictures while decoding is overloaded: left out only when well behind, at most four in a
// row, and when a run of drops gained nothing the clock slips instead of losing every picture.
#include <gtest/gtest.h>

#include <vector>

#include "media/late_pictures.h"

namespace velmaro {
namespace {

constexpr double kFrameMs = 1000.0 / 30;

struct Step {
    double lateMs;
    bool mayDrop;
    LateVerdict verdict;
};

TEST(LatePictures, VerdictsFollowHowLateAndWhetherDropsCatchUp) {
    const LateVerdict show = LateVerdict::kShow;
    const LateVerdict drop = LateVerdict::kDrop;
    const LateVerdict slip = LateVerdict::kShowAndSlip;
    const struct {
        const char* what;
        double frameMs;
        std::vector<Step> steps;
    } cases[] = {
        {"a few frames late is shown", kFrameMs, {{2 * kFrameMs, true, show}, {100, true, show}}},
        {"nothing may be dropped", kFrameMs, {{500, false, show}, {500, false, show}}},
        {"drops that catch up",
         kFrameMs,
         {{300, true, drop},
          {250, true, drop},
          {130, true, drop},
          {60, true, show},
          {300, true, drop}}},
        {"four drops that gained nothing: shown, and the clock slips",
         kFrameMs,
         {{300, true, drop},
          {302, true, drop},
          {304, true, drop},
          {306, true, drop},
          {308, true, slip},
          {300, true, drop}}},
        {"four drops that gained a little: shown without a slip",
         kFrameMs,
         {{300, true, drop},
          {290, true, drop},
          {280, true, drop},
          {270, true, drop},
          {260, true, show}}},
        {"a rate of 5 a second: one frame is the bar",
         200.0,
         {{180, true, show}, {250, true, drop}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LatePictures late;
        for (size_t i = 0; i < c.steps.size(); ++i) {
            EXPECT_EQ(late.Judge(c.steps[i].lateMs, c.frameMs, c.steps[i].mayDrop),
                      c.steps[i].verdict)
                << "picture " << i;
        }
    }
}

}  // namespace
}  // namespace velmaro
