// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The navigator's day: which minutes and hours hold recordings, and which calendar days are
// marked, from the recording list's times (the camera's clock).
#include <gtest/gtest.h>

#include "app/recording_day.h"

namespace velmaro {
namespace {

constexpr CivilDate kDay{2024, 3, 9};
constexpr CivilDate kNextDay{2024, 3, 10};

RecordingEntry Recording(CivilDate date, int h1, int m1, int s1, CivilDate endDate, int h2, int m2,
                         int s2, bool flagged = false) {
    RecordingEntry e;
    e.path = "/card/DCIM/100MEDIA/FILE.TS";
    e.startTime = LocalTimeOf(date, h1, m1, s1);
    e.endTime = LocalTimeOf(endDate, h2, m2, s2);
    e.readOnly = flagged ? 1 : 0;
    return e;
}

// The minutes of `hour` holding `state`, as a list.
std::vector<int> MinutesIn(const DayStates& s, int hour, int state) {
    std::vector<int> minutes;
    for (int m = 0; m < kMinutesPerHour; ++m) {
        if (s.minute[hour][m] == state) {
            minutes.push_back(m);
        }
    }
    return minutes;
}

std::vector<int> Range(int first, int last) {
    std::vector<int> v;
    for (int i = first; i <= last; ++i) {
        v.push_back(i);
    }
    return v;
}

TEST(RecordingDay, ARecordingOverMidnightMarksTheEndOfOneDayAndTheStartOfTheNext) {
    const std::vector<RecordingEntry> list = {Recording(kDay, 23, 50, 0, kNextDay, 0, 10, 0)};
    const DayStates first = FillDayStates(kDay, list);
    EXPECT_EQ(MinutesIn(first, 23, kRecorded), Range(50, 59));
    EXPECT_EQ(first.hour[23], kRecorded);
    EXPECT_EQ(first.hour[0], kNoRecording);
    EXPECT_TRUE(MinutesIn(first, 0, kRecorded).empty());

    const DayStates second = FillDayStates(kNextDay, list);
    EXPECT_EQ(MinutesIn(second, 0, kRecorded), Range(0, 10));
    EXPECT_EQ(second.hour[0], kRecorded);
    EXPECT_EQ(second.hour[23], kNoRecording);

    EXPECT_EQ(RecordingDays(list), (std::vector<CivilDate>{kDay, kNextDay}));
}

TEST(RecordingDay, SpansWithinTheDayMarkTheirMinutesAndHours) {
    // Less than a minute: only that minute.
    DayStates s = FillDayStates(kDay, {Recording(kDay, 10, 15, 40, kDay, 10, 15, 59)});
    EXPECT_EQ(MinutesIn(s, 10, kRecorded), std::vector<int>{15});
    EXPECT_EQ(s.hour[10], kRecorded);
    EXPECT_EQ(s.hour[9] + s.hour[11], 0);

    // Over three hours: the tail of the first, all of the middle one, the head of the last.
    s = FillDayStates(kDay, {Recording(kDay, 7, 58, 0, kDay, 9, 2, 30)});
    EXPECT_EQ(MinutesIn(s, 7, kRecorded), Range(58, 59));
    EXPECT_EQ(MinutesIn(s, 8, kRecorded), Range(0, 59));
    EXPECT_EQ(MinutesIn(s, 9, kRecorded), Range(0, 2));
    EXPECT_EQ(s.hour[7] + s.hour[8] + s.hour[9], 3 * kRecorded);

    // One that started the day before and one of another day.
    s = FillDayStates(kDay, {Recording({2024, 3, 8}, 22, 0, 0, kDay, 0, 3, 0),
                             Recording({2024, 3, 11}, 12, 0, 0, {2024, 3, 11}, 12, 5, 0)});
    EXPECT_EQ(MinutesIn(s, 0, kRecorded), Range(0, 3));
    EXPECT_EQ(MinutesIn(s, 12, kRecorded), std::vector<int>{});
}

TEST(RecordingDay, AFlaggedRecordingWinsTheMinutesItShares) {
    const std::vector<RecordingEntry> list = {
        Recording(kDay, 14, 0, 0, kDay, 14, 5, 10),
        Recording(kDay, 14, 5, 20, kDay, 14, 9, 0, true),
        Recording(kDay, 14, 9, 30, kDay, 14, 12, 0),  // after the flagged one: stays red
    };
    const DayStates s = FillDayStates(kDay, list);
    EXPECT_EQ(MinutesIn(s, 14, kRecorded), (std::vector<int>{0, 1, 2, 3, 4, 10, 11, 12}));
    EXPECT_EQ(MinutesIn(s, 14, kFlaggedRecording), Range(5, 9));
    EXPECT_EQ(s.hour[14], kFlaggedRecording);
}

TEST(RecordingDay, DamagedTimesNeitherHangNorMarkTheWholeCalendar) {
    RecordingEntry backwards = Recording(kDay, 10, 0, 0, kDay, 9, 0, 0);
    RecordingEntry decades = Recording({1980, 1, 1}, 0, 0, 0, {2060, 1, 1}, 0, 0, 0);
    RecordingEntry unreadable;  // times 0: the file's attributes could not be read
    const std::vector<RecordingEntry> list = {backwards, decades, unreadable};
    EXPECT_EQ(FillDayStates(kDay, {backwards}).hour[9] + FillDayStates(kDay, {backwards}).hour[10],
              0);
    const std::vector<CivilDate> days = RecordingDays(list);
    EXPECT_LE(days.size(), 4u);
    EXPECT_NE(std::find(days.begin(), days.end(), CivilDate{1980, 1, 1}), days.end());
    EXPECT_NE(std::find(days.begin(), days.end(), CivilDate{2060, 1, 1}), days.end());
}

TEST(RecordingDay, DaysAreListedOnceAcrossRecordingsAndMonthEnds) {
    const std::vector<RecordingEntry> list = {
        Recording({2024, 2, 28}, 23, 0, 0, {2024, 3, 1}, 0, 30, 0),  // over a leap day
        Recording({2024, 2, 29}, 8, 0, 0, {2024, 2, 29}, 8, 1, 0),
    };
    EXPECT_EQ(RecordingDays(list),
              (std::vector<CivilDate>{{2024, 2, 28}, {2024, 2, 29}, {2024, 3, 1}}));
}

}  // namespace
}  // namespace velmaro
