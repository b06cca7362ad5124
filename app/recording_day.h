// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The recording navigator's view of a recording list: which minutes and hours of a day hold
// recordings (and whether a flagged one), and which calendar days any recording touches. Times
// are the camera's clock, as the recording list carries them (local calendar time).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "stream/recording_index.h"

namespace velmaro {

enum DayCellState : int {
    kNoRecording = 0,
    kRecorded = 2,
    kFlaggedRecording = 3,  // a recording whose flag in the list is set
};

constexpr int kHoursPerDay = 24;
constexpr int kMinutesPerHour = 60;

struct CivilDate {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    bool operator==(const CivilDate&) const = default;
};

// Every cell keeps the largest state of the recordings that cover it.
struct DayStates {
    std::array<std::array<int, kMinutesPerHour>, kHoursPerDay> minute{};
    std::array<int, kHoursPerDay> hour{};
};

// The local time of `date` at `hour`:`minute`:`second`, as the recording list counts it.
int64_t LocalTimeOf(CivilDate date, int hour, int minute, int second);
CivilDate LocalDateOf(int64_t time);

// The states of `date` from `list`: each recording that overlaps the day marks its hours and
// minutes, clipped to 00:00..23:59 of the day.
DayStates FillDayStates(CivilDate date, const std::vector<RecordingEntry>& list);

// Every day from each recording's start date to its end date, both included, without
// repetition, in the order met. A recording claiming to span more than a year (a damaged time)
// marks its start and end days only.
std::vector<CivilDate> RecordingDays(const std::vector<RecordingEntry>& list);

}  // namespace velmaro
