// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/recording_day.h"

#include <algorithm>
#include <ctime>

namespace velmaro {
namespace {

constexpr int kLastSecondOfMinute = 59;
constexpr int kMostDaysStepped = 366;
constexpr int64_t kSecondsPerDay = 24 * 3600;

struct ClockTime {
    int hour = 0;
    int minute = 0;
};

ClockTime ClockOf(int64_t time) {
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm local{};
    localtime_r(&t, &local);
    return {local.tm_hour, local.tm_min};
}

void Raise(int& cell, int state) {
    cell = std::max(cell, state);
}

void MarkMinutes(DayStates& states, int hour, int first, int last, int state) {
    for (int m = first; m <= last; ++m) {
        Raise(states.minute[hour][m], state);
    }
}

CivilDate NextDay(CivilDate date) {
    // Noon keeps daylight-saving changes from landing on the wrong day.
    return LocalDateOf(LocalTimeOf(date, 12, 0, 0) + kSecondsPerDay);
}

}  // namespace

int64_t LocalTimeOf(CivilDate date, int hour, int minute, int second) {
    std::tm local{};
    local.tm_year = date.year - 1900;
    local.tm_mon = date.month - 1;
    local.tm_mday = date.day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&local));
}

CivilDate LocalDateOf(int64_t time) {
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm local{};
    localtime_r(&t, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

DayStates FillDayStates(CivilDate date, const std::vector<RecordingEntry>& list) {
    DayStates states;
    const int64_t dayStart = LocalTimeOf(date, 0, 0, 0);
    const int64_t dayEnd =
        LocalTimeOf(date, kHoursPerDay - 1, kMinutesPerHour - 1, kLastSecondOfMinute);
    for (const RecordingEntry& e : list) {
        if (e.endTime < dayStart || e.startTime > dayEnd || e.endTime < e.startTime) {
            continue;
        }
        const int state = e.readOnly != 0 ? kFlaggedRecording : kRecorded;
        const ClockTime from = ClockOf(std::max(e.startTime, dayStart));
        const ClockTime to = ClockOf(std::min(e.endTime, dayEnd));
        for (int h = from.hour; h <= to.hour; ++h) {
            Raise(states.hour[h], state);
        }
        if (from.hour == to.hour) {
            MarkMinutes(states, from.hour, from.minute, to.minute, state);
            continue;
        }
        MarkMinutes(states, from.hour, from.minute, kMinutesPerHour - 1, state);
        for (int h = from.hour + 1; h < to.hour; ++h) {
            MarkMinutes(states, h, 0, kMinutesPerHour - 1, state);
        }
        MarkMinutes(states, to.hour, 0, to.minute, state);
    }
    return states;
}

std::vector<CivilDate> RecordingDays(const std::vector<RecordingEntry>& list) {
    std::vector<CivilDate> days;
    const auto add = [&days](CivilDate d) {
        if (std::find(days.begin(), days.end(), d) == days.end()) {
            days.push_back(d);
        }
    };
    for (const RecordingEntry& e : list) {
        if (e.endTime < e.startTime) {
            continue;
        }
        const CivilDate last = LocalDateOf(e.endTime);
        CivilDate d = LocalDateOf(e.startTime);
        add(d);
        if (e.endTime - e.startTime > int64_t{kMostDaysStepped} * kSecondsPerDay) {
            add(last);
            continue;
        }
        while (!(d == last)) {
            d = NextDay(d);
            add(d);
        }
    }
    return days;
}

}  // namespace velmaro
