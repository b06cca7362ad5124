// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream/telemetry.h"

#include <locale.h>
#include <stdlib.h>

#include <atomic>
#include <cstddef>
#include <string>

namespace velmaro {
namespace {

constexpr std::string_view kSentenceTag = "$GPRMC";
constexpr std::string_view kReceiverTag = "$GNRMC";  // several satellite systems combined
constexpr char kSentenceStart = '$';
constexpr size_t kChecksumDigits = 2;
constexpr int kHexBase = 16;
constexpr char kChecksumMark = '*';
constexpr char kFieldSeparator = ',';
constexpr char kModeNotValid = 'N';  // NMEA mode indicator: data not valid
constexpr char kStatusValid = 'A';

constexpr int kStatusField = 2;
constexpr int kLatitudeField = 3;
constexpr int kNorthSouthField = 4;
constexpr int kLongitudeField = 5;
constexpr int kEastWestField = 6;
constexpr int kSpeedField = 7;
constexpr int kCourseField = 8;  // the date and variation behind it are never taken

// ddmm.mmmm and dddmm.mmmm, a digit in every place but the dot: the only shapes a camera
// writes; anything else is refused.
constexpr size_t kLatitudeLength = 9;
constexpr size_t kLatitudeDot = 4;
constexpr size_t kLatitudeMinutes = 2;
constexpr size_t kLongitudeLength = 10;
constexpr size_t kLongitudeDot = 5;
constexpr size_t kLongitudeMinutes = 3;
// Receivers other than the camera's often give the minutes to five decimals.
constexpr size_t kFifthDecimal = 1;

constexpr double kMinutesPerDegree = 60.0;
constexpr double kMaxLatitude = 90.0;
constexpr double kMaxLongitude = 180.0;
constexpr double kKmhPerKnot = 1.852;
// Far above anything a car or an aircraft reports: a larger number is a damaged field.
constexpr double kMaxKnots = 1000.0;
constexpr double kFullCircle = 360.0;
constexpr int kDecimalBase = 10;

// The player's UI may switch LC_NUMERIC to a locale with a decimal comma; the camera always
// writes a point, so numbers are read in the C locale whatever the process uses.
locale_t CNumericLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t{});
    return locale;
}

// Text-to-double as the C library reads it (leading blanks, sign, stops at the first character
// that cannot continue a number, 0 when there is none). The copy gives strtod its terminator
// without reading past the view; a number cannot continue across a character that ends the view
// (a comma or the end of the text), so the result is the same as reading in place.
double ReadNumber(std::string_view text) {
    const std::string copy(text);
    return strtod_l(copy.c_str(), nullptr, CNumericLocale());
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int DigitValue(char c) {
    return static_cast<unsigned char>(c) - '0';
}

// The whole degrees in the first `count` places of a field already known to hold digits there.
int LeadingDegrees(std::string_view field, size_t count) {
    int degrees = 0;
    for (size_t i = 0; i < count; ++i) {
        degrees = degrees * kDecimalBase + DigitValue(field[i]);
    }
    return degrees;
}

bool BeginsWith(std::string_view field, char c) {
    return !field.empty() && field.front() == c;
}

// A blank, a sign or a letter where a digit belongs would be read as part of a number (or stop
// it) and give a position the receiver never sent, so each place is checked.
bool HasShape(std::string_view field, size_t dot, size_t length) {
    if (field.size() != length || field[dot] != '.') {
        return false;
    }
    for (size_t i = 0; i < length; ++i) {
        if (i != dot && !IsDigit(field[i])) {
            return false;
        }
    }
    return true;
}

// Digits with at most one dot. A blank, sign, exponent or second number in a speed or course field
// comes from a damaged sentence (a comma lost makes the date part of the course), and the C
// library would read a prefix of it as a plausible value.
bool IsPlainDecimal(std::string_view field) {
    bool digit = false;
    bool dot = false;
    for (const char c : field) {
        if (IsDigit(c)) {
            digit = true;
        } else if (c == '.' && !dot) {
            dot = true;
        } else {
            return false;
        }
    }
    return digit;
}

// The camera's shape, or with `fifthDecimal` also one more decimal of minutes.
bool HasShape(std::string_view field, size_t dot, size_t length, bool fifthDecimal) {
    return HasShape(field, dot, length) ||
           (fifthDecimal && HasShape(field, dot, length + kFifthDecimal));
}

int HexValue(char c) {
    if (IsDigit(c)) {
        return DigitValue(c);
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + kDecimalBase;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + kDecimalBase;
    }
    return -1;
}

// The sentence up to its checksum mark when the two hex digits after the mark equal the XOR of
// the bytes between `$` and the mark; empty otherwise.
std::string_view CheckedBody(std::string_view sentence) {
    const size_t mark = sentence.find(kChecksumMark);
    if (mark == std::string_view::npos || sentence.size() - mark <= kChecksumDigits) {
        return {};
    }
    const int high = HexValue(sentence[mark + 1]);
    const int low = HexValue(sentence[mark + 2]);
    if (high < 0 || low < 0) {
        return {};
    }
    unsigned sum = 0;
    for (size_t i = 1; i < mark; ++i) {
        sum ^= static_cast<unsigned char>(sentence[i]);
    }
    return sum == static_cast<unsigned>(high * kHexBase + low) ? sentence.substr(0, mark + 1)
                                                               : std::string_view{};
}

// The first `$GPRMC` or `$GNRMC` sentence of the text whose checksum matches, up to and with
// its mark; empty when there is none.
std::string_view FindCheckedSentence(std::string_view text) {
    for (size_t at = text.find(kSentenceStart); at != std::string_view::npos;
         at = text.find(kSentenceStart, at + 1)) {
        const std::string_view sentence = text.substr(at);
        if (!sentence.starts_with(kSentenceTag) && !sentence.starts_with(kReceiverTag)) {
            continue;
        }
        if (const std::string_view body = CheckedBody(sentence); !body.empty()) {
            return body;
        }
    }
    return {};
}

// Degrees and minutes as the field gives them; nothing when the minutes reach a whole degree or
// the angle lies beyond `limit`.
bool Angle(std::string_view field, size_t minutesAt, double limit, double& angle) {
    const double minutes = ReadNumber(field.substr(minutesAt));
    if (!(minutes < kMinutesPerDegree)) {
        return false;
    }
    angle = LeadingDegrees(field, minutesAt) + minutes / kMinutesPerDegree;
    return angle <= limit;
}

// A speed or course: an empty field reads as 0 (a receiver standing still may leave both out),
// anything else must be a plain decimal from 0 up to `limit`.
bool Measure(std::string_view field, double limit, double& value) {
    if (field.empty()) {
        value = 0.0;
        return true;
    }
    if (!IsPlainDecimal(field)) {
        return false;
    }
    value = ReadNumber(field);
    return value <= limit;
}

void ReadTag(std::string_view text, std::string_view tag, double& value) {
    const size_t at = text.find(tag);
    if (at != std::string_view::npos) {
        value = ReadNumber(text.substr(at + tag.size()));
    }
}

void Store(double* out, double value) {
    if (out != nullptr) {
        *out = value;
    }
}

// The fix as it is being read from the fields, mirrored into the caller's outputs at once.
class FixReader {
  public:
    FixReader(double* latitude, double* longitude, double* speed, double* course, bool fifthDecimal)
        : latitudeOut_(latitude),
          longitudeOut_(longitude),
          speedOut_(speed),
          courseOut_(course),
          fifthDecimal_(fifthDecimal) {}

    // False when the field refuses the whole sentence.
    bool Take(int index, std::string_view field) {
        if (!TakeField(index, field)) {
            return false;
        }
        lastTaken_ = index;
        return true;
    }

    // Fields are taken in order and the first refusal ends the walk, so reaching the E/W letter
    // means both angles and both hemispheres were there and passed.
    bool HasPosition() const { return lastTaken_ >= kEastWestField; }

  private:
    bool TakeField(int index, std::string_view field) {
        switch (index) {
            case kStatusField:
                return BeginsWith(field, kStatusValid);
            case kLatitudeField:
                return TakeLatitude(field);
            case kNorthSouthField:
                return TakeHemisphere(field, 'N', 'S', latitude_, latitudeOut_);
            case kLongitudeField:
                return TakeLongitude(field);
            case kEastWestField:
                return TakeHemisphere(field, 'E', 'W', longitude_, longitudeOut_);
            case kSpeedField:
                return TakeSpeed(field);
            case kCourseField:
                return TakeCourse(field);
            default:
                return true;
        }
    }

    bool TakeLatitude(std::string_view field) {
        if (!HasShape(field, kLatitudeDot, kLatitudeLength, fifthDecimal_) ||
            !Angle(field, kLatitudeMinutes, kMaxLatitude, latitude_)) {
            return false;
        }
        Store(latitudeOut_, latitude_);
        return true;
    }

    bool TakeLongitude(std::string_view field) {
        if (!HasShape(field, kLongitudeDot, kLongitudeLength, fifthDecimal_) ||
            !Angle(field, kLongitudeMinutes, kMaxLongitude, longitude_)) {
            return false;
        }
        Store(longitudeOut_, longitude_);
        return true;
    }

    bool TakeSpeed(std::string_view field) const {
        double knots = 0.0;
        if (!Measure(field, kMaxKnots, knots)) {
            return false;
        }
        Store(speedOut_, knots * kKmhPerKnot);
        return true;
    }

    bool TakeCourse(std::string_view field) const {
        double course = 0.0;
        if (!Measure(field, kFullCircle, course)) {
            return false;
        }
        Store(courseOut_, course);
        return true;
    }

    static bool TakeHemisphere(std::string_view field, char keep, char negate, double& value,
                               double* out) {
        if (BeginsWith(field, negate)) {
            value = -value;
            Store(out, value);
            return true;
        }
        return BeginsWith(field, keep);
    }

    double* latitudeOut_;
    double* longitudeOut_;
    double* speedOut_;
    double* courseOut_;
    bool fifthDecimal_;
    double latitude_ = 0.0;
    double longitude_ = 0.0;
    int lastTaken_ = -1;
};

// A field is examined only when a comma closes it; the walk may run past the checksum mark,
// which a sentence cut short after its position relies on to be taken with the fields it has.
// Cut before the E/W letter it is no fix: a status alone once gave the place 0, 0.
bool WalkFields(std::string_view sentence, FixReader& reader) {
    size_t fieldStart = 0;
    for (int index = 0; index <= kCourseField; ++index) {
        const size_t comma = sentence.find(kFieldSeparator, fieldStart);
        if (comma == std::string_view::npos) {
            break;
        }
        if (!reader.Take(index, sentence.substr(fieldStart, comma - fieldStart))) {
            return false;
        }
        fieldStart = comma + 1;
    }
    return reader.HasPosition();
}

// Written at start-up by the main thread, read by readers on any thread.
std::atomic<bool> runOtherReceivers{false};

}  // namespace

void SetRunTelemetryOptions(const TelemetryOptions& options) {
    runOtherReceivers.store(options.otherReceivers);
}

TelemetryOptions RunTelemetryOptions() {
    return TelemetryOptions{.otherReceivers = runOtherReceivers.load()};
}

bool ParseTelemetry(std::string_view text, GSensorRecord& gsensor, double* latitude,
                    double* longitude, double* speed, double* course,
                    const TelemetryOptions& options) {
    text = text.substr(0, text.find('\0'));
    ReadTag(text, "X:", gsensor.x);
    ReadTag(text, "Y:", gsensor.y);
    ReadTag(text, "Z:", gsensor.z);

    // A whole sentence vouched for by its checksum: its fields end at the mark.
    const std::string_view checked =
        options.otherReceivers ? FindCheckedSentence(text) : std::string_view{};
    const size_t start = checked.empty() ? text.find(kSentenceTag) : 0;
    if (start == std::string_view::npos) {
        return false;
    }
    const std::string_view sentence = checked.empty() ? text.substr(start) : checked;
    const size_t mark = sentence.find(kChecksumMark);
    // The mark is never at index 0 (the sentence begins with its tag), so mark - 1 is valid.
    if (mark == std::string_view::npos || sentence[mark - 1] == kModeNotValid) {
        return false;
    }
    FixReader reader(latitude, longitude, speed, course, !checked.empty());
    return WalkFields(sentence, reader);
}

bool ParseTelemetry(std::string_view text, GSensorRecord& gsensor, GpsRecord& fix,
                    const TelemetryOptions& options) {
    return ParseTelemetry(text, gsensor, &fix.latitude, &fix.longitude, &fix.speed, &fix.course,
                          options);
}

}  // namespace velmaro
