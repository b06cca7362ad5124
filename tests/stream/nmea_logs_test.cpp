// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The telemetry parser against real receiver logs: gpsd's regression logs with gpsd's own decode
// (.chk), GPSBabel's reference tracks with its GPX output, and an independent decode of every
// $GPRMC line. Where our rules deliberately differ from those decoders, each difference is
// classified by a reason that is checked on the sentence (or on the decoder's report), and no
// difference may remain unexplained.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "stream/telemetry.h"
#include "tests/test_support.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::ReadText;

const fs::path kNmeaDir = fs::path(VELMARO_DATA_DIR) / "nmea";
constexpr std::string_view kTag = "$GPRMC";
constexpr double kKmhPerKnot = 1.852;
constexpr double kKmhPerMetrePerSecond = 3.6;
constexpr double kMinutesPerDegree = 60.0;
constexpr double kSameDecode = 1e-9;        // our decode against the reference decode
constexpr double kDegreeTolerance = 1e-6;   // against printed decoder output (9 decimals)
constexpr double kSpeedTolerance = 6e-4;    // m/s; gpsd prints 3 decimals
constexpr double kCourseTolerance = 1e-3;   // gpsd prints 4 decimals, GPX holds floats
constexpr size_t kFieldsThroughCourse = 9;  // $GPRMC up to the course over ground
constexpr int kMinimumFix = 2;              // gpsd mode: 2D fix or better
constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kMinutesPerHour = 60;

// ---------------------------------------------------------------------------------------------
// Text helpers

std::string_view StripCr(std::string_view line) {
    return !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
}

// Lines without their '\n'; a CR before it stays, as it would in a telemetry text.
std::vector<std::string_view> Lines(std::string_view content) {
    std::vector<std::string_view> lines;
    while (!content.empty()) {
        const size_t end = content.find('\n');
        lines.push_back(content.substr(0, end));
        content = end == std::string_view::npos ? std::string_view() : content.substr(end + 1);
    }
    return lines;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t at = text.find(separator); at != std::string_view::npos;
         at = text.find(separator, start)) {
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

// gpsd's logs start with '#' comment lines; GPSBabel's AMOD log with free text.
bool IsGprmcLine(std::string_view line) {
    return !line.starts_with('#') && line.find(kTag) != std::string_view::npos;
}

std::string_view SentenceOf(std::string_view line) {
    return StripCr(line.substr(line.find(kTag)));
}

template <typename T>
std::optional<T> WholeNumber(std::string_view text) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// Milliseconds of the day from "hhmmss[.sss]" (NMEA) or "hh:mm:ss[.sss]" (JSON, GPX).
std::optional<int64_t> MillisecondsOfDay(std::string_view text, bool withColons) {
    const size_t step = withColons ? 3 : 2;
    if (text.size() <= 2 * step) {
        return std::nullopt;
    }
    const auto hours = WholeNumber<int>(text.substr(0, 2));
    const auto minutes = WholeNumber<int>(text.substr(step, 2));
    const auto seconds = WholeNumber<double>(text.substr(2 * step));
    if (!hours || !minutes || !seconds) {
        return std::nullopt;
    }
    return (int64_t{*hours} * kMinutesPerHour + *minutes) * kSecondsPerMinute * kMsPerSecond +
           std::llround(*seconds * kMsPerSecond);
}

// "hh:mm:ss[.sss]" out of an ISO 8601 stamp such as "2005-03-15T12:03:26.000Z" (quoted or not).
std::string_view ClockOf(std::string_view stamp) {
    const size_t clock = stamp.find('T');
    if (clock == std::string_view::npos) {
        return {};
    }
    stamp = stamp.substr(clock + 1);
    return stamp.substr(0, stamp.find('Z'));
}

// ---------------------------------------------------------------------------------------------
// Our decode, and what our rules say of a sentence

struct OurDecode {
    bool accepted = false;
    GpsRecord fix;
};

OurDecode DecodeWithParser(std::string_view line) {
    OurDecode decode;
    GSensorRecord gsensor;
    decode.accepted = ParseTelemetry(line, gsensor, decode.fix);
    return decode;
}

// The first of our rules that refuses a sentence, worked out from its fields split at the commas
// before the checksum mark (real sentences have no commas behind it).
enum class Refusal {
    kNone,
    kNoChecksumMark,
    kModeNotValid,
    kStatus,
    kLatitudeShape,
    kNorthSouth,
    kLongitudeShape,
    kEastWest,
};

struct SentenceFields {
    std::vector<std::string_view> fields;
    char modeBeforeMark = '\0';
    bool hasMark = false;
};

SentenceFields FieldsOf(std::string_view sentence) {
    SentenceFields parsed;
    const size_t mark = sentence.find('*');
    parsed.hasMark = mark != std::string_view::npos;
    if (parsed.hasMark) {
        parsed.modeBeforeMark = sentence[mark - 1];
        sentence = sentence.substr(0, mark);
    }
    parsed.fields = Split(sentence, ',');
    return parsed;
}

Refusal RefusalOf(std::string_view sentence) {
    const SentenceFields parsed = FieldsOf(sentence);
    if (!parsed.hasMark) {
        return Refusal::kNoChecksumMark;
    }
    if (parsed.modeBeforeMark == 'N') {
        return Refusal::kModeNotValid;
    }
    const auto& f = parsed.fields;
    // A field counts only when a comma follows it, i.e. it is not the last one before the mark.
    const auto examined = [&](size_t index) { return index + 1 < f.size(); };
    const auto shaped = [](std::string_view field, size_t dot) {
        return field.size() == dot + 5 && field.find('.') == dot;
    };
    const auto oneOf = [](std::string_view field, std::string_view letters) {
        return !field.empty() && letters.find(field.front()) != std::string_view::npos;
    };
    if (examined(2) && !f[2].starts_with('A')) {
        return Refusal::kStatus;
    }
    if (examined(3) && !shaped(f[3], 4)) {
        return Refusal::kLatitudeShape;
    }
    if (examined(4) && !oneOf(f[4], "NS")) {
        return Refusal::kNorthSouth;
    }
    if (examined(5) && !shaped(f[5], 5)) {
        return Refusal::kLongitudeShape;
    }
    if (examined(6) && !oneOf(f[6], "EW")) {
        return Refusal::kEastWest;
    }
    return Refusal::kNone;
}

const char* RefusalName(Refusal refusal) {
    switch (refusal) {
        case Refusal::kNone:
            return "accepted";
        case Refusal::kNoChecksumMark:
            return "no checksum mark";
        case Refusal::kModeNotValid:
            return "mode indicator N";
        case Refusal::kStatus:
            return "status not A";
        case Refusal::kLatitudeShape:
            return "latitude not ddmm.mmmm";
        case Refusal::kNorthSouth:
            return "latitude hemisphere not N/S";
        case Refusal::kLongitudeShape:
            return "longitude not dddmm.mmmm";
        case Refusal::kEastWest:
            return "longitude hemisphere not E/W";
    }
    return "?";
}

// ---------------------------------------------------------------------------------------------
// An independent decode: minutes of any precision, degrees split off arithmetically.

struct ReferenceFix {
    double latitude = 0.0;
    double longitude = 0.0;
    double knots = 0.0;
    double course = 0.0;
};

std::optional<double> ReferenceDegrees(std::string_view field, std::string_view hemisphere,
                                       char negative) {
    const auto value = WholeNumber<double>(field);
    if (!value || hemisphere.size() != 1) {
        return std::nullopt;
    }
    constexpr double kMinutesScale = 100.0;  // ddmm.mmmm read as one number
    const double degrees = std::floor(*value / kMinutesScale);
    const double decimal = degrees + (*value - degrees * kMinutesScale) / kMinutesPerDegree;
    return hemisphere.front() == negative ? -decimal : decimal;
}

std::optional<ReferenceFix> ReferenceDecode(std::string_view sentence) {
    const std::vector<std::string_view> f = FieldsOf(sentence).fields;
    if (f.size() < kFieldsThroughCourse) {
        return std::nullopt;
    }
    const auto latitude = ReferenceDegrees(f[3], f[4], 'S');
    const auto longitude = ReferenceDegrees(f[5], f[6], 'W');
    if (!latitude || !longitude) {
        return std::nullopt;
    }
    return ReferenceFix{*latitude, *longitude, WholeNumber<double>(f[7]).value_or(0.0),
                        WholeNumber<double>(f[8]).value_or(0.0)};
}

// ---------------------------------------------------------------------------------------------
// gpsd's decode: the .chk echoes each sentence it took, each followed by the JSON it printed.

struct ChkEntry {
    std::string_view echo;
    std::vector<std::string_view> json;
};

std::vector<ChkEntry> ReadChk(std::string_view content) {
    std::vector<ChkEntry> entries;
    for (std::string_view line : Lines(content)) {
        line = StripCr(line);
        if (line.starts_with('{')) {
            if (!entries.empty()) {
                entries.back().json.push_back(line);
            }
        } else if (!line.empty()) {
            entries.push_back({line, {}});
        }
    }
    return entries;
}

std::optional<std::string_view> JsonValue(std::string_view object, std::string_view key) {
    const std::string quoted = "\"" + std::string(key) + "\":";
    const size_t at = object.find(quoted);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view value = object.substr(at + quoted.size());
    return value.substr(0, value.find_first_of(",}"));
}

std::optional<double> JsonNumber(std::string_view object, std::string_view key) {
    const auto value = JsonValue(object, key);
    return value ? WholeNumber<double>(*value) : std::nullopt;
}

bool IsRmcEcho(std::string_view echo) {
    return echo.size() > kTag.size() && echo.front() == '$' && echo.substr(3, 3) == "RMC";
}

// The report gpsd printed on completing the sentence's cycle: its first TPV after the sentence
// and before the next RMC sentence.
std::optional<std::string_view> FirstTpv(const std::vector<ChkEntry>& entries, size_t echo) {
    for (size_t i = echo; i < entries.size(); ++i) {
        if (i > echo && IsRmcEcho(entries[i].echo)) {
            break;
        }
        for (std::string_view object : entries[i].json) {
            if (object.find("\"class\":\"TPV\"") != std::string_view::npos) {
                return object;
            }
        }
    }
    return std::nullopt;
}

bool GpsdHasFix(std::string_view tpv) {
    return JsonNumber(tpv, "mode").value_or(0) >= kMinimumFix && JsonNumber(tpv, "lat") &&
           JsonNumber(tpv, "lon");
}

bool ChecksumMatches(std::string_view sentence) {
    const size_t mark = sentence.find('*');
    if (mark == std::string_view::npos || mark + 3 > sentence.size()) {
        return false;
    }
    uint8_t sum = 0;
    for (char c : sentence.substr(1, mark - 1)) {
        sum ^= static_cast<uint8_t>(c);
    }
    unsigned written = 0;
    const auto digits = sentence.substr(mark + 1, 2);
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + 2, written, 16);
    return error == std::errc() && end == digits.data() + 2 && written == sum;
}

// Reasons why our decision or fix may differ from gpsd's report, each checked mechanically.
enum class Verdict {
    kBothAccept,  // same decision; position, speed and course agree
    kBothRefuse,
    kMinutesNotFourDecimals,  // we refuse minutes of other precision; gpsd takes any
    kGpsdNoReport,            // no TPV before the next RMC: cycle not yet learnt, or log ends
    kGpsdReportOfOtherEpoch,  // gpsd's next TPV carries another time: a later sentence came first
    kGpsdModeFromNoFixGsa,    // gpsd's mode still comes from a $..GSA that said "no fix"
    kGpsdDroppedBadChecksum,  // gpsd discarded the sentence for its checksum; we do not verify it
    kNoGpsdOutput,            // the log has no .chk (covered by the reference decode test)
    kUnexplained,
};
constexpr size_t kVerdictCount = static_cast<size_t>(Verdict::kUnexplained) + 1;
constexpr std::array<const char*, kVerdictCount> kVerdictNames = {
    "agree: both accept, same fix",
    "agree: both refuse",
    "minutes not 4 decimals (we refuse)",
    "gpsd printed no report for the cycle",
    "gpsd's report is of another epoch",
    "gpsd mode from a no-fix GSA",
    "bad checksum (gpsd drops, we accept)",
    "no gpsd output for the log",
    "UNEXPLAINED",
};

bool SameFix(const OurDecode& ours, std::string_view sentence, std::string_view tpv) {
    const std::vector<std::string_view> f = FieldsOf(sentence).fields;
    if (f.size() < kFieldsThroughCourse) {
        return false;
    }
    const auto speed = JsonNumber(tpv, "speed");
    const auto track = JsonNumber(tpv, "track");
    const bool speedAgrees =
        !speed || f[7].empty() ||
        std::abs(ours.fix.speed / kKmhPerMetrePerSecond - *speed) <= kSpeedTolerance;
    const bool courseAgrees =
        !track || f[8].empty() || std::abs(ours.fix.course - *track) <= kCourseTolerance;
    return std::abs(ours.fix.latitude - *JsonNumber(tpv, "lat")) <= kDegreeTolerance &&
           std::abs(ours.fix.longitude - *JsonNumber(tpv, "lon")) <= kDegreeTolerance &&
           speedAgrees && courseAgrees;
}

bool ReportOfOtherEpoch(std::string_view sentence, std::string_view tpv) {
    const std::vector<std::string_view> f = FieldsOf(sentence).fields;
    const auto stamp = JsonValue(tpv, "time");
    if (f.size() < 2 || !stamp) {
        return false;
    }
    const auto sent = MillisecondsOfDay(f[1], false);
    const auto reported = MillisecondsOfDay(ClockOf(*stamp), true);
    return sent && reported && *sent != *reported;
}

// The most recent $..GSA that gpsd took before entry `echo` said "no fix" (mode 1).
bool LastGsaSaysNoFix(const std::vector<ChkEntry>& entries, size_t echo) {
    for (size_t i = echo; i-- > 0;) {
        const std::string_view sentence = entries[i].echo;
        if (sentence.size() > kTag.size() && sentence.substr(3, 3) == "GSA") {
            const auto fields = Split(sentence, ',');
            return fields.size() > 2 && fields[2] == "1";
        }
    }
    return false;
}

struct GpsdLog {
    std::string chk;  // the entries point into this text
    std::vector<ChkEntry> entries;
    size_t next = 0;  // gpsd echoes the sentences in log order
};

Verdict Judge(std::string_view line, GpsdLog& log) {
    const std::string_view sentence = SentenceOf(line);
    const OurDecode ours = DecodeWithParser(line);
    const auto& entries = log.entries;
    const auto echo = std::find_if(entries.begin() + static_cast<long>(log.next), entries.end(),
                                   [&](const ChkEntry& entry) { return entry.echo == sentence; });
    if (echo == entries.end()) {
        return ChecksumMatches(sentence) ? Verdict::kUnexplained : Verdict::kGpsdDroppedBadChecksum;
    }
    const size_t index = static_cast<size_t>(echo - entries.begin());
    log.next = index + 1;
    const auto tpv = FirstTpv(entries, index);
    if (!tpv) {
        return Verdict::kGpsdNoReport;
    }
    const bool gpsdFix = GpsdHasFix(*tpv);
    if (ours.accepted == gpsdFix && (!gpsdFix || SameFix(ours, sentence, *tpv))) {
        return gpsdFix ? Verdict::kBothAccept : Verdict::kBothRefuse;
    }
    const Refusal refusal = RefusalOf(sentence);
    if (!ours.accepted && gpsdFix &&
        (refusal == Refusal::kLatitudeShape || refusal == Refusal::kLongitudeShape)) {
        return Verdict::kMinutesNotFourDecimals;
    }
    if (ReportOfOtherEpoch(sentence, *tpv)) {
        return Verdict::kGpsdReportOfOtherEpoch;
    }
    if (ours.accepted && !gpsdFix && LastGsaSaysNoFix(entries, index)) {
        return Verdict::kGpsdModeFromNoFixGsa;
    }
    return Verdict::kUnexplained;
}

std::vector<fs::path> FilesOf(const fs::path& dir, std::string_view extension) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() == extension) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string Where(const fs::path& file, size_t index, std::string_view line) {
    return file.filename().string() + ":" + std::to_string(index + 1) + ": " +
           std::string(StripCr(line)) + "\n";
}

TEST(NmeaLogsTest, GprmcDecisionsAndFixesAgreeWithGpsd) {
    const fs::path dir = kNmeaDir / "gpsd";
    ASSERT_TRUE(fs::is_directory(dir)) << dir;
    std::array<int, kVerdictCount> counts{};
    std::string unexplained;
    const auto logs = FilesOf(dir, ".log");
    for (const fs::path& path : logs) {
        const std::string content = ReadText(path);
        const fs::path chk = path.string() + ".chk";
        GpsdLog gpsd;
        if (fs::exists(chk)) {
            gpsd.chk = ReadText(chk);
            gpsd.entries = ReadChk(gpsd.chk);
        }
        const auto lines = Lines(content);
        for (size_t n = 0; n < lines.size(); ++n) {
            if (!IsGprmcLine(lines[n])) {
                continue;
            }
            const Verdict verdict =
                gpsd.entries.empty() ? Verdict::kNoGpsdOutput : Judge(lines[n], gpsd);
            ++counts[static_cast<size_t>(verdict)];
            if (verdict == Verdict::kUnexplained) {
                unexplained += Where(path, n, lines[n]);
            }
        }
    }
    std::cout << "$GPRMC sentences of " << logs.size() << " gpsd logs against gpsd's decode:\n";
    for (size_t i = 0; i < kVerdictCount; ++i) {
        std::cout << "  " << kVerdictNames[i] << ": " << counts[i] << "\n";
    }
    EXPECT_TRUE(unexplained.empty()) << "unexplained differences:\n" << unexplained;
    // The comparison must bite: most sentences really are compared, both ways.
    constexpr int kEnoughAccepted = 400;
    constexpr int kEnoughRefused = 200;
    EXPECT_GE(counts[static_cast<size_t>(Verdict::kBothAccept)], kEnoughAccepted);
    EXPECT_GE(counts[static_cast<size_t>(Verdict::kBothRefuse)], kEnoughRefused);
}

// ---------------------------------------------------------------------------------------------
// Every $GPRMC line of every log against the independent decode

struct ReferenceTally {
    int lines = 0;
    std::map<Refusal, int> outcomes;
    std::string mismatches;
};

bool MatchesReference(const OurDecode& ours, Refusal refusal, std::string_view sentence) {
    if (ours.accepted != (refusal == Refusal::kNone)) {
        return false;
    }
    if (!ours.accepted) {
        return true;
    }
    const auto reference = ReferenceDecode(sentence);
    return reference && std::abs(ours.fix.latitude - reference->latitude) <= kSameDecode &&
           std::abs(ours.fix.longitude - reference->longitude) <= kSameDecode &&
           std::abs(ours.fix.speed - reference->knots * kKmhPerKnot) <= kSameDecode &&
           std::abs(ours.fix.course - reference->course) <= kSameDecode;
}

void CheckAgainstReference(const fs::path& file, std::string_view content, ReferenceTally& tally) {
    const auto lines = Lines(content);
    for (size_t n = 0; n < lines.size(); ++n) {
        if (!IsGprmcLine(lines[n])) {
            continue;
        }
        ++tally.lines;
        const std::string_view sentence = SentenceOf(lines[n]);
        const Refusal refusal = RefusalOf(sentence);
        ++tally.outcomes[refusal];
        if (!MatchesReference(DecodeWithParser(lines[n]), refusal, sentence)) {
            tally.mismatches += Where(file, n, lines[n]);
        }
    }
}

std::string DecodeUtf16Le(std::string_view bytes) {
    constexpr std::string_view kByteOrderMark = "\xFF\xFE";
    constexpr unsigned kAsciiEnd = 0x80;
    constexpr int kHighByteShift = 8;
    std::string text;
    if (!bytes.starts_with(kByteOrderMark)) {
        return text;
    }
    for (size_t i = kByteOrderMark.size(); i + 1 < bytes.size(); i += 2) {
        const unsigned unit = static_cast<uint8_t>(bytes[i]) |
                              static_cast<unsigned>(static_cast<uint8_t>(bytes[i + 1]))
                                  << kHighByteShift;
        text.push_back(unit < kAsciiEnd ? static_cast<char>(unit) : '?');
    }
    return text;
}

TEST(NmeaLogsTest, EveryGprmcLineMatchesAnIndependentDecode) {
    ReferenceTally tally;
    for (const fs::path& path : FilesOf(kNmeaDir / "gpsd", ".log")) {
        CheckAgainstReference(path, ReadText(path), tally);
    }
    const fs::path gpsbabel = kNmeaDir / "gpsbabel";
    for (const char* name : {"nmea", "nmea+ms.txt", "nmeadate.nmea", "amod-nmea"}) {
        CheckAgainstReference(gpsbabel / name, ReadText(gpsbabel / name), tally);
    }
    CheckAgainstReference(gpsbabel / "nmea_utf16", DecodeUtf16Le(ReadText(gpsbabel / "nmea_utf16")),
                          tally);
    const fs::path geotag = fs::path(VELMARO_DATA_DIR) / "ts" / "exiftool" / "Geotag2.log";
    CheckAgainstReference(geotag, ReadText(geotag), tally);

    std::cout << tally.lines << " $GPRMC lines against the independent decode:\n";
    for (const auto& [refusal, count] : tally.outcomes) {
        std::cout << "  " << RefusalName(refusal) << ": " << count << "\n";
    }
    EXPECT_TRUE(tally.mismatches.empty()) << "differ from the reference decode:\n"
                                          << tally.mismatches;
    constexpr int kEnoughLines = 2000;
    EXPECT_GE(tally.lines, kEnoughLines);
}

// ---------------------------------------------------------------------------------------------
// GPSBabel's reference track and its GPX

struct TrackPoint {
    double latitude = 0.0;
    double longitude = 0.0;
    std::optional<double> course;
};

std::optional<std::string_view> Between(std::string_view text, std::string_view open,
                                        std::string_view close) {
    const size_t start = text.find(open);
    if (start == std::string_view::npos) {
        return std::nullopt;
    }
    text = text.substr(start + open.size());
    const size_t end = text.find(close);
    return end == std::string_view::npos ? std::nullopt : std::optional(text.substr(0, end));
}

std::map<int64_t, TrackPoint> ReadGpxTrack(std::string_view gpx) {
    std::map<int64_t, TrackPoint> points;
    for (size_t at = gpx.find("<trkpt "); at != std::string_view::npos;
         at = gpx.find("<trkpt ", at + 1)) {
        const std::string_view point = gpx.substr(at, gpx.find("</trkpt>", at) - at);
        const auto latitude = Between(point, "lat=\"", "\"");
        const auto longitude = Between(point, "lon=\"", "\"");
        const auto time = Between(point, "<time>", "</time>");
        const auto course = Between(point, "<course>", "</course>");
        if (!latitude || !longitude || !time) {
            continue;
        }
        const std::optional<int64_t> ms = MillisecondsOfDay(ClockOf(*time), true);
        if (ms.has_value()) {
            constexpr double kUnreadable = std::numeric_limits<double>::quiet_NaN();
            points[ms.value()] = {WholeNumber<double>(*latitude).value_or(kUnreadable),
                                  WholeNumber<double>(*longitude).value_or(kUnreadable),
                                  course ? WholeNumber<double>(*course) : std::nullopt};
        }
    }
    return points;
}

// GPSBabel writes one track point per fix, stamped with the sentence's time. (Its nmea+ms.gpx is
// no such oracle: in that log each RMC is half an epoch behind its GGA, and GPSBabel pairs the
// RMC's time with the earlier GGA's position; the log is covered by the independent decode.)
void ExpectTrackMatchesGpx(std::string_view nmea, const std::map<int64_t, TrackPoint>& track) {
    int matched = 0;
    for (std::string_view line : Lines(nmea)) {
        if (!IsGprmcLine(line)) {
            continue;
        }
        const std::string_view sentence = SentenceOf(line);
        const OurDecode ours = DecodeWithParser(line);
        const auto ms = MillisecondsOfDay(FieldsOf(sentence).fields[1], false);
        const auto point = ms ? track.find(*ms) : track.end();
        ASSERT_TRUE(ours.accepted) << sentence;
        ASSERT_NE(point, track.end()) << "no track point at the time of " << sentence;
        EXPECT_NEAR(ours.fix.latitude, point->second.latitude, kDegreeTolerance) << sentence;
        EXPECT_NEAR(ours.fix.longitude, point->second.longitude, kDegreeTolerance) << sentence;
        if (point->second.course) {
            EXPECT_NEAR(ours.fix.course, *point->second.course, kCourseTolerance) << sentence;
        }
        ++matched;
    }
    EXPECT_EQ(matched, static_cast<int>(track.size())) << "every track point has its sentence";
}

TEST(NmeaLogsTest, GpsbabelTrackMatchesItsGpxAlsoFromUtf16) {
    const fs::path dir = kNmeaDir / "gpsbabel";
    const std::string nmea = ReadText(dir / "nmea");
    const auto track = ReadGpxTrack(ReadText(dir / "nmea.gpx"));
    constexpr size_t kTrackPoints = 154;
    ASSERT_EQ(track.size(), kTrackPoints);
    ExpectTrackMatchesGpx(nmea, track);

    const std::string utf16 = ReadText(dir / "nmea_utf16");
    EXPECT_EQ(DecodeUtf16Le(utf16), nmea) << "the UTF-16 copy holds the same text";
    ExpectTrackMatchesGpx(DecodeUtf16Le(utf16), track);
    // Undecoded, a NUL follows the first character: nothing is taken, nothing is read beyond.
    GSensorRecord gsensor;
    GpsRecord fix;
    EXPECT_FALSE(ParseTelemetry(utf16, gsensor, fix));
}

// ---------------------------------------------------------------------------------------------
// A GNSS receiver's $GNRMC: another talker, and 8-decimal minutes besides

TEST(NmeaLogsTest, GnrmcSentencesAreNotTaken) {
    const std::string content = ReadText(kNmeaDir / "NmeaParser" / "TrimbleR2SampleData.txt");
    int sentences = 0;
    for (std::string_view line : Lines(content)) {
        const size_t at = line.find("$GNRMC");
        if (at == std::string_view::npos) {
            continue;
        }
        ++sentences;
        EXPECT_FALSE(DecodeWithParser(line).accepted) << line;
        std::string asGps(line);
        asGps.replace(at, kTag.size(), kTag);
        EXPECT_FALSE(DecodeWithParser(asGps).accepted) << asGps;
        EXPECT_EQ(RefusalOf(SentenceOf(asGps)), Refusal::kLatitudeShape) << asGps;
    }
    constexpr int kGnrmcSentences = 34;
    EXPECT_EQ(sentences, kGnrmcSentences);
}

}  // namespace
}  // namespace velmaro
