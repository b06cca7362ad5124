// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream/rmc_time.h"

#include <cstddef>

namespace velmaro {
namespace {

constexpr std::string_view kRmcTag = "RMC,";
constexpr size_t kTalkerLength = 2;  // GP, GN, GL...: any receiver's recommended minimum
constexpr int kTimeField = 1;
constexpr int kDateField = 9;
constexpr size_t kClockDigits = 6;  // hhmmss
constexpr size_t kDateDigits = 6;   // ddmmyy
constexpr int kMaxFractionDigits = 9;
constexpr int kMillisecondDigits = 3;
constexpr int kCenturyPivot = 80;  // two-digit years below this are in the 2000s
constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kSecondsPerDay = 86400;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Two digits at `at`, already known to be digits.
int TwoDigits(std::string_view s, size_t at) {
    return (s[at] - '0') * 10 + (s[at + 1] - '0');
}

bool AllDigits(std::string_view s) {
    for (const char c : s) {
        if (!IsDigit(c)) {
            return false;
        }
    }
    return true;
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian), without the C library's time
// zone: the fix is UTC whatever zone the player runs in.
int64_t DaysFromCivil(int year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yearOfEra = year - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return int64_t{era} * 146097 + dayOfEra - 719468;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// The milliseconds of the day that "hhmmss[.fff...]" gives; leap seconds (ss = 60) are refused
// with every other out-of-range value, as a calendar cannot place them.
std::optional<int64_t> ClockMs(std::string_view field) {
    if (field.size() < kClockDigits || !AllDigits(field.substr(0, kClockDigits))) {
        return std::nullopt;
    }
    const int hours = TwoDigits(field, 0);
    const int minutes = TwoDigits(field, 2);
    const int seconds = TwoDigits(field, 4);
    if (hours > 23 || minutes > 59 || seconds > 59) {
        return std::nullopt;
    }
    int64_t ms = ((int64_t{hours} * 60 + minutes) * 60 + seconds) * kMsPerSecond;
    const std::string_view rest = field.substr(kClockDigits);
    if (rest.empty()) {
        return ms;
    }
    const std::string_view fraction = rest.substr(1);
    if (rest[0] != '.' || fraction.size() > kMaxFractionDigits || !AllDigits(fraction)) {
        return std::nullopt;
    }
    int64_t scale = kMsPerSecond / 10;
    for (size_t i = 0; i < fraction.size() && i < kMillisecondDigits; ++i) {
        ms += (fraction[i] - '0') * scale;
        scale /= 10;
    }
    return ms;
}

std::optional<int64_t> DateDays(std::string_view field) {
    if (field.size() != kDateDigits || !AllDigits(field)) {
        return std::nullopt;
    }
    const int day = TwoDigits(field, 0);
    const int month = TwoDigits(field, 2);
    const int yy = TwoDigits(field, 4);
    const int year = yy < kCenturyPivot ? 2000 + yy : 1900 + yy;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
        return std::nullopt;
    }
    return DaysFromCivil(year, month, day);
}

// The field `index` of the sentence (field 0 being the tag), ended by a comma, the checksum
// mark or the end of the sentence.
std::optional<std::string_view> Field(std::string_view sentence, int index) {
    size_t start = 0;
    for (int i = 0; i < index; ++i) {
        const size_t comma = sentence.find(',', start);
        if (comma == std::string_view::npos) {
            return std::nullopt;
        }
        start = comma + 1;
    }
    const size_t end = sentence.find_first_of(",*\r\n", start);
    return sentence.substr(start, end == std::string_view::npos ? end : end - start);
}

// The first "$xxRMC," of the text, from its '$' on.
std::optional<std::string_view> FindSentence(std::string_view text) {
    for (size_t at = text.find(kRmcTag); at != std::string_view::npos;
         at = text.find(kRmcTag, at + 1)) {
        if (at >= kTalkerLength + 1 && text[at - kTalkerLength - 1] == '$') {
            return text.substr(at - kTalkerLength - 1);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<int64_t> ParseRmcUtcMs(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    const std::optional<std::string_view> sentence = FindSentence(text);
    if (!sentence) {
        return std::nullopt;
    }
    const std::optional<std::string_view> clock = Field(*sentence, kTimeField);
    const std::optional<std::string_view> date = Field(*sentence, kDateField);
    if (!clock || !date) {
        return std::nullopt;
    }
    const std::optional<int64_t> ms = ClockMs(*clock);
    const std::optional<int64_t> days = DateDays(*date);
    if (!ms || !days) {
        return std::nullopt;
    }
    return *days * kSecondsPerDay * kMsPerSecond + *ms;
}

}  // namespace velmaro
