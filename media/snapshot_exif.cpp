// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/snapshot_exif.h"

#include <libexif/exif-data.h>
#include <libexif/exif-utils.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <limits>
#include <memory>
#include <span>
#include <string>

namespace velmaro {
namespace {

constexpr const char* kMaker = "Velmaro";
constexpr const char* kDateTimeFormat = "%Y:%m:%d %H:%M:%S";
constexpr const char* kDateFormat = "%Y:%m:%d";
constexpr size_t kTimeTextLimit = 32;
constexpr ExifByteOrder kByteOrder = EXIF_BYTE_ORDER_INTEL;
constexpr uint8_t kExifVersion[] = {'0', '2', '3', '1'};  // the first with time offsets
constexpr uint8_t kGpsVersion[] = {2, 3, 0, 0};
constexpr const char* kSpeedInKmh = "K";
constexpr const char* kTrueNorth = "T";
constexpr ExifShort kSrgb = 1;  // what the full-range BT.601 JPEG stands for on screen

// Positions keep the receiver's own precision: whole degrees and decimal minutes, to a millionth
// of a minute (under 2 mm), with zero seconds, as EXIF allows for minutes with fractions.
constexpr ExifLong kMinuteParts = 1000000;
constexpr ExifLong kMinutesPerDegree = 60;
constexpr double kMostDegrees = 180.0;
constexpr ExifLong kHundredths = 100;
constexpr double kFullCircle = 360.0;

constexpr ExifLong kMsPerSecond = 1000;
constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kMinutesPerHour = 60;
constexpr int64_t kSecondsPerHour = kSecondsPerMinute * kMinutesPerHour;
constexpr int64_t kSecondsPerDay = 24 * kSecondsPerHour;
constexpr size_t kSegmentHeaderSize = 4;  // marker and length
constexpr size_t kLargestSegmentPayload = 65533;
constexpr uint8_t kMarkerPrefix = 0xFF;
constexpr uint8_t kStartOfImage = 0xD8;
constexpr uint8_t kApp0 = 0xE0;
constexpr uint8_t kApp1 = 0xE1;

// libexif names the GPS tags as plain numbers, since they share values with other IFDs' tags.
constexpr auto kGpsVersionId = static_cast<ExifTag>(EXIF_TAG_GPS_VERSION_ID);
constexpr auto kGpsLatitudeRef = static_cast<ExifTag>(EXIF_TAG_GPS_LATITUDE_REF);
constexpr auto kGpsLatitude = static_cast<ExifTag>(EXIF_TAG_GPS_LATITUDE);
constexpr auto kGpsLongitudeRef = static_cast<ExifTag>(EXIF_TAG_GPS_LONGITUDE_REF);
constexpr auto kGpsLongitude = static_cast<ExifTag>(EXIF_TAG_GPS_LONGITUDE);
constexpr auto kGpsTimeStamp = static_cast<ExifTag>(EXIF_TAG_GPS_TIME_STAMP);
constexpr auto kGpsSpeedRef = static_cast<ExifTag>(EXIF_TAG_GPS_SPEED_REF);
constexpr auto kGpsSpeed = static_cast<ExifTag>(EXIF_TAG_GPS_SPEED);
constexpr auto kGpsTrackRef = static_cast<ExifTag>(EXIF_TAG_GPS_TRACK_REF);
constexpr auto kGpsTrack = static_cast<ExifTag>(EXIF_TAG_GPS_TRACK);
constexpr auto kGpsDateStamp = static_cast<ExifTag>(EXIF_TAG_GPS_DATE_STAMP);

struct ExifDataDeleter {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};
struct ExifEntryDeleter {
    void operator()(ExifEntry* entry) const { exif_entry_unref(entry); }
};
struct ExifMemDeleter {
    void operator()(ExifMem* mem) const { exif_mem_unref(mem); }
};
struct SavedExifDeleter {
    void operator()(unsigned char* bytes) const { std::free(bytes); }  // libexif's default memory
};
using ExifDataPtr = std::unique_ptr<ExifData, ExifDataDeleter>;
using ExifEntryPtr = std::unique_ptr<ExifEntry, ExifEntryDeleter>;
using ExifMemPtr = std::unique_ptr<ExifMem, ExifMemDeleter>;
using SavedExif = std::unique_ptr<unsigned char, SavedExifDeleter>;

// Builds the tags of one snapshot; the first entry that cannot be made fails the whole block.
class ExifBuilder {
  public:
    ExifBuilder() : data_(exif_data_new()), mem_(exif_mem_new_default()) {
        if (data_) {
            exif_data_set_byte_order(data_.get(), kByteOrder);
            exif_data_set_data_type(data_.get(), EXIF_DATA_TYPE_COMPRESSED);
        }
        ok_ = data_ && mem_;
    }

    void Text(ExifIfd ifd, ExifTag tag, const std::string& text) {
        unsigned char* at = Add(ifd, tag, EXIF_FORMAT_ASCII, text.size() + 1);
        if (at != nullptr) {
            std::copy(text.begin(), text.end(), at);  // the terminating zero is already there
        }
    }

    void Bytes(ExifIfd ifd, ExifTag tag, ExifFormat format, std::span<const uint8_t> bytes) {
        unsigned char* at = Add(ifd, tag, format, bytes.size());
        if (at != nullptr) {
            std::copy(bytes.begin(), bytes.end(), at);
        }
    }

    void Short(ExifIfd ifd, ExifTag tag, ExifShort value) {
        unsigned char* at = Add(ifd, tag, EXIF_FORMAT_SHORT, 1);
        if (at != nullptr) {
            exif_set_short(at, kByteOrder, value);
        }
    }

    void Long(ExifIfd ifd, ExifTag tag, ExifLong value) {
        unsigned char* at = Add(ifd, tag, EXIF_FORMAT_LONG, 1);
        if (at != nullptr) {
            exif_set_long(at, kByteOrder, value);
        }
    }

    void Rationals(ExifIfd ifd, ExifTag tag, std::initializer_list<ExifRational> values) {
        unsigned char* at = Add(ifd, tag, EXIF_FORMAT_RATIONAL, values.size());
        if (at == nullptr) {
            return;
        }
        for (const ExifRational& value : values) {
            exif_set_rational(at, kByteOrder, value);
            at += exif_format_get_size(EXIF_FORMAT_RATIONAL);
        }
    }

    // The APP1 payload, or empty after any failure. The tags every EXIF reader expects and no
    // one set are added with libexif's defaults.
    std::vector<uint8_t> Save() {
        if (!ok_) {
            return {};
        }
        unsigned char* bytes = nullptr;
        unsigned int size = 0;
        exif_data_fix(data_.get());
        exif_data_save_data(data_.get(), &bytes, &size);
        const SavedExif saved(bytes);
        if (!saved || size == 0) {
            return {};
        }
        return {saved.get(), saved.get() + size};
    }

  private:
    // A zeroed entry of `components` values added to `ifd`; null when it cannot be made.
    unsigned char* Add(ExifIfd ifd, ExifTag tag, ExifFormat format, size_t components) {
        if (!ok_) {
            return nullptr;
        }
        const size_t size = components * exif_format_get_size(format);
        const ExifEntryPtr entry(exif_entry_new_mem(mem_.get()));
        auto* bytes =
            entry ? static_cast<unsigned char*>(exif_mem_alloc(mem_.get(), size)) : nullptr;
        if (bytes == nullptr) {
            ok_ = false;
            return nullptr;
        }
        entry->tag = tag;
        entry->format = format;
        entry->components = components;
        entry->data = bytes;
        entry->size = static_cast<unsigned int>(size);
        exif_content_add_entry(data_->ifd[ifd], entry.get());  // takes its own reference
        return bytes;
    }

    ExifDataPtr data_;
    ExifMemPtr mem_;
    bool ok_ = false;
};

// `value` (not below 0) as a fraction of `denominator`, held to what 32 bits can count.
ExifRational Fixed(double value, ExifLong denominator) {
    const double largest = std::numeric_limits<ExifLong>::max();
    const double scaled = std::clamp(std::round(value * denominator), 0.0, largest);
    return {static_cast<ExifLong>(scaled), denominator};
}

std::string FormatTime(int64_t seconds, const char* format, bool utc) {
    const std::time_t when = static_cast<std::time_t>(seconds);
    std::tm fields{};
    char text[kTimeTextLimit] = "";
    if ((utc ? gmtime_r(&when, &fields) : localtime_r(&when, &fields)) == nullptr ||
        std::strftime(text, sizeof text, format, &fields) == 0) {
        return {};
    }
    return text;
}

// "+02:00", "-03:30": hours and minutes east of UTC.
std::string ZoneText(int32_t offsetMinutes) {
    const int minutes = std::abs(static_cast<int>(offsetMinutes));
    const int perHour = static_cast<int>(kMinutesPerHour);
    char text[kTimeTextLimit] = "";
    std::snprintf(text, sizeof text, "%c%02d:%02d", offsetMinutes < 0 ? '-' : '+',
                  minutes / perHour, minutes % perHour);
    return text;
}

void AddTime(ExifBuilder& exif, const SnapshotStamp& stamp) {
    const std::string original = FormatTime(*stamp.time, kDateTimeFormat, false);
    if (original.empty()) {
        return;
    }
    exif.Text(EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL, original);
    if (stamp.zoneOffsetMinutes) {
        exif.Text(EXIF_IFD_EXIF, EXIF_TAG_OFFSET_TIME_ORIGINAL, ZoneText(*stamp.zoneOffsetMinutes));
    }
}

void AddCoordinate(ExifBuilder& exif, ExifTag refTag, ExifTag tag, double degrees,
                   const char* positive, const char* negative) {
    const double size = std::clamp(std::fabs(degrees), 0.0, kMostDegrees);
    const auto parts = static_cast<uint64_t>(std::llround(size * kMinutesPerDegree * kMinuteParts));
    constexpr uint64_t kPartsPerDegree = kMinutesPerDegree * kMinuteParts;
    exif.Text(EXIF_IFD_GPS, refTag, degrees < 0.0 ? negative : positive);
    exif.Rationals(EXIF_IFD_GPS, tag,
                   {{static_cast<ExifLong>(parts / kPartsPerDegree), 1},
                    {static_cast<ExifLong>(parts % kPartsPerDegree), kMinuteParts},
                    {0, 1}});
}

// Receivers count from 1980 on, so a time before 1970 is no time.
void AddUtc(ExifBuilder& exif, int64_t utcMs) {
    const int64_t seconds = utcMs / kMsPerSecond;
    const std::string date = utcMs >= 0 ? FormatTime(seconds, kDateFormat, true) : "";
    if (date.empty()) {
        return;
    }
    const int64_t ofDay = seconds % kSecondsPerDay;
    const auto part = [](int64_t value) { return ExifRational{static_cast<ExifLong>(value), 1}; };
    exif.Text(EXIF_IFD_GPS, kGpsDateStamp, date);
    exif.Rationals(
        EXIF_IFD_GPS, kGpsTimeStamp,
        {part(ofDay / kSecondsPerHour),
         part(ofDay / kSecondsPerMinute % kMinutesPerHour),
         {static_cast<ExifLong>(utcMs % (kSecondsPerMinute * kMsPerSecond)), kMsPerSecond}});
}

void AddFix(ExifBuilder& exif, const SnapshotFix& fix) {
    const GpsRecord& at = fix.fix;
    exif.Bytes(EXIF_IFD_GPS, kGpsVersionId, EXIF_FORMAT_BYTE, kGpsVersion);
    AddCoordinate(exif, kGpsLatitudeRef, kGpsLatitude, at.latitude, "N", "S");
    AddCoordinate(exif, kGpsLongitudeRef, kGpsLongitude, at.longitude, "E", "W");
    exif.Text(EXIF_IFD_GPS, kGpsSpeedRef, kSpeedInKmh);
    exif.Rationals(EXIF_IFD_GPS, kGpsSpeed, {Fixed(at.speed, kHundredths)});
    const double track = std::fmod(std::fmod(at.course, kFullCircle) + kFullCircle, kFullCircle);
    exif.Text(EXIF_IFD_GPS, kGpsTrackRef, kTrueNorth);
    exif.Rationals(EXIF_IFD_GPS, kGpsTrack, {Fixed(track, kHundredths)});
    if (fix.utcMs) {
        AddUtc(exif, *fix.utcMs);
    }
}

}  // namespace

std::vector<uint8_t> SnapshotExif(const SnapshotStamp& stamp, int width, int height) {
    ExifBuilder exif;
    exif.Text(EXIF_IFD_0, EXIF_TAG_MAKE, kMaker);
    exif.Text(EXIF_IFD_0, EXIF_TAG_MODEL, kMaker);
    exif.Bytes(EXIF_IFD_EXIF, EXIF_TAG_EXIF_VERSION, EXIF_FORMAT_UNDEFINED, kExifVersion);
    exif.Short(EXIF_IFD_EXIF, EXIF_TAG_COLOR_SPACE, kSrgb);
    exif.Long(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION, static_cast<ExifLong>(std::max(width, 0)));
    exif.Long(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION,
              static_cast<ExifLong>(std::max(height, 0)));
    if (stamp.time) {
        AddTime(exif, stamp);
    }
    if (stamp.fix) {
        AddFix(exif, *stamp.fix);
    }
    return exif.Save();
}

bool InsertExif(std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& exif) {
    if (exif.empty() || exif.size() > kLargestSegmentPayload || jpeg.size() < 2 ||
        jpeg[0] != kMarkerPrefix || jpeg[1] != kStartOfImage) {
        return false;
    }
    size_t at = 2;
    if (jpeg.size() >= at + kSegmentHeaderSize && jpeg[at] == kMarkerPrefix &&
        jpeg[at + 1] == kApp0) {
        const size_t length = size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
        at = std::min(jpeg.size(), at + 2 + length);
    }
    const size_t length = exif.size() + 2;  // the length field counts itself
    std::vector<uint8_t> segment = {kMarkerPrefix, kApp1, static_cast<uint8_t>(length >> 8),
                                    static_cast<uint8_t>(length & 0xFF)};
    segment.insert(segment.end(), exif.begin(), exif.end());
    jpeg.insert(jpeg.begin() + static_cast<ptrdiff_t>(at), segment.begin(), segment.end());
    return true;
}

}  // namespace velmaro
