// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/playback_session.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/message_sink.h"

namespace velmaro {
namespace {

using Route = PlaybackSession::Route;

constexpr char kFix[] =
    "X:0.1 Y:0.2 Z:0.3 $GPRMC,083000,A,2404.6620,N,12031.7340,E,10.0,90.0,120626,,,A*00";
constexpr char kNoFix[] =
    "X:0.4 Y:0.5 Z:0.6 $GPRMC,083001,V,2504.6620,N,12131.7340,E,10.0,90.0,120626,,,A*00";

struct Heard : PlaybackListener {
    std::vector<std::string> events;
    GpsRecord fix;
    GSensorRecord g;
    void OnOpened(const std::string& path) override { events.push_back("opened " + path); }
    void OnClosed() override { events.push_back("closed"); }
    void OnPosition(int32_t perMille) override {
        events.push_back("position " + std::to_string(perMille));
    }
    void OnListReady() override { events.push_back("list"); }
    void OnTelemetry(const GpsRecord& f, const GSensorRecord& s, bool hasFix) override {
        fix = f;
        g = s;
        events.push_back(hasFix ? "fix" : "no fix");
    }
    void OnReadingReset() override { events.push_back("reset"); }
};

void Store(PlaybackSession& session, const std::string& text) {
    session.TelemetrySource().Store(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// The reader and the list send the same codes; the route they came by says what they mean.
TEST(PlaybackSession, EachMessageBecomesTheEventOfItsRoute) {
    const struct {
        Route route;
        uint32_t msg;
        intptr_t wParam;
        const char* heard;  // nullptr: nothing
    } cases[] = {
        {Route::kList, kMsgPosition, 250, "position 250"},
        {Route::kList, kMsgPosition, 4000, "position 1000"},
        {Route::kList, kMsgPosition, -3, "position 0"},
        {Route::kList, kMsgReset, 0, "list"},
        {Route::kList, kMsgTelemetry, 0, nullptr},  // the list's scan began
        {Route::kReader, kMsgReset, 0, "reset"},
        {Route::kReader, kMsgTelemetry, 0, nullptr},  // nothing stored to take
        {Route::kReader, kMsgPosition, 10, nullptr},
    };
    for (const auto& c : cases) {
        PlaybackSession session;
        Heard heard;
        session.AddListener(&heard);
        session.Deliver(c.route, c.msg, c.wParam);
        const std::vector<std::string> want =
            c.heard ? std::vector<std::string>{c.heard} : std::vector<std::string>{};
        EXPECT_EQ(heard.events, want) << c.msg << " " << c.wParam;
    }
}

// The sentence is parsed once, here: a fix, then a sentence without one (the last fix stays,
// its G-sensor values are taken), then a reset (no fix until the next one).
TEST(PlaybackSession, TelemetryIsParsedOnceAndTheFixOutlivesSentencesWithoutOne) {
    PlaybackSession session;
    Heard heard;
    session.AddListener(&heard);
    Store(session, kFix);
    session.Deliver(Route::kReader, kMsgTelemetry, 0);
    ASSERT_EQ(heard.events, std::vector<std::string>{"fix"});
    EXPECT_NEAR(heard.fix.latitude, 24.0777, 1e-4);
    EXPECT_NEAR(heard.fix.longitude, 120.5289, 1e-4);
    EXPECT_DOUBLE_EQ(heard.g.x, 0.1);

    Store(session, kNoFix);
    session.Deliver(Route::kReader, kMsgTelemetry, 0);
    EXPECT_EQ(heard.events.back(), "no fix");
    EXPECT_NEAR(heard.fix.latitude, 24.0777, 1e-4) << "the last fix stays";
    EXPECT_EQ(session.LatestFix().latitude, heard.fix.latitude);

    session.Deliver(Route::kReader, kMsgReset, 0);
    EXPECT_EQ(session.LatestFix().latitude, 0.0);
    session.RemoveListener(&heard);
    Store(session, kFix);
    session.Deliver(Route::kReader, kMsgTelemetry, 0);
    EXPECT_EQ(heard.events.back(), "reset") << "a listener removed hears nothing";
}

// Opening tells the windows before the channel starts (a text of the recording before is not
// the new one's); a close forgets the recording.
TEST(PlaybackSession, OpenTellsBeforeTheChannelStartsAndCloseForgetsTheRecording) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    PlaybackSession session;
    Heard heard;
    session.AddListener(&heard);
    Store(session, kFix);
    session.Open("/no/such/recording.ts", ChannelLinks{});
    ASSERT_NE(session.Channel(), nullptr);
    EXPECT_EQ(session.Channel()->filePath, "/no/such/recording.ts");
    session.Deliver(Route::kReader, kMsgTelemetry, 0);
    EXPECT_EQ(heard.events, (std::vector<std::string>{"opened /no/such/recording.ts"}));
    session.Close();
    EXPECT_EQ(session.Channel(), nullptr);
    EXPECT_EQ(heard.events.back(), "closed");
}

}  // namespace
}  // namespace velmaro
