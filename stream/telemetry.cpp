#include "stream/telemetry.h"

#include <locale.h>
#include <stdlib.h>

#include <cstddef>
#include <string>

namespace velmaro {
namespace {

constexpr std::string_view kSentenceTag = "$GPRMC";
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

// ddmm.mmmm and dddmm.mmmm: the only shapes a camera writes; anything else is refused.
constexpr size_t kLatitudeLength = 9;
constexpr size_t kLatitudeDot = 4;
constexpr size_t kLatitudeMinutes = 2;
constexpr size_t kLongitudeLength = 10;
constexpr size_t kLongitudeDot = 5;
constexpr size_t kLongitudeMinutes = 3;

constexpr double kMinutesPerDegree = 60.0;
constexpr double kKmhPerKnot = 1.852;
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

// Text-to-integer over the first `count` characters only.
long ReadLeadingInteger(std::string_view text, size_t count) {
    const std::string copy(text.substr(0, count));
    return strtol_l(copy.c_str(), nullptr, kDecimalBase, CNumericLocale());
}

int DigitValue(char c) {
    return static_cast<unsigned char>(c) - '0';
}

bool BeginsWith(std::string_view field, char c) {
    return !field.empty() && field.front() == c;
}

bool HasShape(std::string_view field, size_t dot, size_t length) {
    return field.size() == length && field.find('.') == dot;
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
    FixReader(double* latitude, double* longitude, double* speed, double* course)
        : latitudeOut_(latitude), longitudeOut_(longitude), speedOut_(speed), courseOut_(course) {}

    // False when the field refuses the whole sentence.
    bool Take(int index, std::string_view field) {
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
                Store(speedOut_, ReadNumber(field) * kKmhPerKnot);
                return true;
            case kCourseField:
                Store(courseOut_, ReadNumber(field));
                return true;
            default:
                return true;
        }
    }

  private:
    bool TakeLatitude(std::string_view field) {
        if (!HasShape(field, kLatitudeDot, kLatitudeLength)) {
            return false;
        }
        const int degrees = DigitValue(field[0]) * kDecimalBase + DigitValue(field[1]);
        latitude_ = degrees + ReadNumber(field.substr(kLatitudeMinutes)) / kMinutesPerDegree;
        Store(latitudeOut_, latitude_);
        return true;
    }

    bool TakeLongitude(std::string_view field) {
        if (!HasShape(field, kLongitudeDot, kLongitudeLength)) {
            return false;
        }
        const long degrees = ReadLeadingInteger(field, kLongitudeMinutes);
        longitude_ = static_cast<double>(degrees) +
                     ReadNumber(field.substr(kLongitudeMinutes)) / kMinutesPerDegree;
        Store(longitudeOut_, longitude_);
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
    double latitude_ = 0.0;
    double longitude_ = 0.0;
};

// A field is examined only when a comma closes it; the walk may run past the checksum mark,
// which a sentence cut short relies on to be taken with the fields it has.
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
    return true;
}

}  // namespace

bool ParseTelemetry(std::string_view text, GSensorRecord& gsensor, double* latitude,
                    double* longitude, double* speed, double* course) {
    text = text.substr(0, text.find('\0'));
    ReadTag(text, "X:", gsensor.x);
    ReadTag(text, "Y:", gsensor.y);
    ReadTag(text, "Z:", gsensor.z);

    const size_t start = text.find(kSentenceTag);
    if (start == std::string_view::npos) {
        return false;
    }
    const std::string_view sentence = text.substr(start);
    const size_t mark = sentence.find(kChecksumMark);
    // The mark is never at index 0 (the sentence begins with its tag), so mark - 1 is valid.
    if (mark == std::string_view::npos || sentence[mark - 1] == kModeNotValid) {
        return false;
    }
    FixReader reader(latitude, longitude, speed, course);
    return WalkFields(sentence, reader);
}

bool ParseTelemetry(std::string_view text, GSensorRecord& gsensor, GpsRecord& fix) {
    return ParseTelemetry(text, gsensor, &fix.latitude, &fix.longitude, &fix.speed, &fix.course);
}

}  // namespace velmaro
