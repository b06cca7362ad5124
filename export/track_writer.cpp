#include "export/track_writer.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "export/file_copy.h"
#include "export/track_text.h"
#include "platform/write_all.h"

namespace velmaro {
namespace {

constexpr int kCoordinateDecimals = 9;  // well below a millimetre
constexpr int kSpeedDecimals = 3;
constexpr int kCourseDecimals = 2;
constexpr int kAxisDecimals = 4;
constexpr double kMetresPerSecondPerKmh = 1.0 / 3.6;
constexpr double kLongitudeWrap = 180.0;

// GPX longitudes run from -180 up to, not including, 180: the same meridian from the other side.
double GpxLongitude(double longitude) {
    return longitude >= kLongitudeWrap ? longitude - 2 * kLongitudeWrap : longitude;
}

std::string LowerSuffix(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return {};
    }
    std::string suffix = path.substr(dot);
    std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return suffix;
}

// The valid points in runs without a gap on the camera's clock.
std::vector<std::vector<const TrackPoint*>> Segments(const TrackPoints& points) {
    std::vector<std::vector<const TrackPoint*>> segments;
    const TrackPoint* previous = nullptr;
    for (const TrackPoint& p : points) {
        if (!p.valid) {
            continue;
        }
        if (!previous || p.cameraTime - previous->cameraTime > kSegmentGapSeconds ||
            p.cameraTime < previous->cameraTime) {
            segments.emplace_back();
        }
        segments.back().push_back(&p);
        previous = &p;
    }
    return segments;
}

void AppendGpxPoint(std::string& out, const TrackPoint& p) {
    out += "      <trkpt lat=\"" + FixedText(p.fix.latitude, kCoordinateDecimals) + "\" lon=\"" +
           FixedText(GpxLongitude(p.fix.longitude), kCoordinateDecimals) + "\">\n";
    if (p.utcMs) {
        out += "        <time>" + UtcText(*p.utcMs) + "</time>\n";
    }
    out += "        <extensions><vm:speed>" +
           FixedText(p.fix.speed * kMetresPerSecondPerKmh, kSpeedDecimals) +
           "</vm:speed><vm:course>" + FixedText(p.fix.course, kCourseDecimals) +
           "</vm:course></extensions>\n";
    out += "      </trkpt>\n";
}

std::string KmlCoordinate(const TrackPoint& p) {
    return FixedText(p.fix.longitude, kCoordinateDecimals) + ',' +
           FixedText(p.fix.latitude, kCoordinateDecimals) + ",0";
}

void AppendKmlSegment(std::string& out, const std::vector<const TrackPoint*>& segment) {
    out += "    <Placemark>\n      <name>Route</name>\n";
    const TrackPoint& first = *segment.front();
    const TrackPoint& last = *segment.back();
    if (first.utcMs && last.utcMs) {
        out += "      <TimeSpan><begin>" + UtcText(*first.utcMs) + "</begin><end>" +
               UtcText(*last.utcMs) + "</end></TimeSpan>\n";
    }
    out += "      <LineString>\n        <tessellate>1</tessellate>\n        <coordinates>\n";
    for (const TrackPoint* p : segment) {
        out += "          " + KmlCoordinate(*p) + '\n';
    }
    // A line needs two places; a lone fix is drawn from and to itself.
    if (segment.size() == 1) {
        out += "          " + KmlCoordinate(first) + '\n';
    }
    out += "        </coordinates>\n      </LineString>\n    </Placemark>\n";
}

void AppendKmlPoint(std::string& out, const TrackPoint& p) {
    out += "      <Placemark>";
    if (p.utcMs) {
        out += "<TimeStamp><when>" + UtcText(*p.utcMs) + "</when></TimeStamp>";
    }
    out += "<Point><coordinates>" + KmlCoordinate(p) + "</coordinates></Point></Placemark>\n";
}

std::string CsvRow(const TrackPoint& p) {
    std::string row = p.utcMs ? UtcText(*p.utcMs) : std::string();
    if (p.valid) {
        row += ',' + FixedText(p.fix.latitude, kCoordinateDecimals) + ',' +
               FixedText(p.fix.longitude, kCoordinateDecimals) + ',' +
               FixedText(p.fix.speed, kSpeedDecimals) + ',' +
               FixedText(p.fix.course, kCourseDecimals);
    } else {
        row += ",,,,";
    }
    row += ',' + FixedText(p.gsensor.x, kAxisDecimals) + ',' +
           FixedText(p.gsensor.y, kAxisDecimals) + ',' + FixedText(p.gsensor.z, kAxisDecimals);
    row += p.valid ? ",valid\n" : ",invalid\n";
    return row;
}

}  // namespace

TrackFormat TrackFormatForPath(const std::string& path) {
    const std::string suffix = LowerSuffix(path);
    if (suffix == ".gpx") {
        return TrackFormat::kGpx;
    }
    if (suffix == ".kml") {
        return TrackFormat::kKml;
    }
    if (suffix == ".csv") {
        return TrackFormat::kCsv;
    }
    return TrackFormat::kNone;
}

std::string GpxText(const TrackPoints& points, const std::string& name) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"Velmaro\" xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
        "     xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
        "     xmlns:vm=\"" +
        std::string(kTrackExtensionNamespace) +
        "\"\n"
        "     xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
        "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n";
    out += "  <trk>\n    <name>" + XmlEscaped(name) + "</name>\n";
    for (const auto& segment : Segments(points)) {
        out += "    <trkseg>\n";
        for (const TrackPoint* p : segment) {
            AppendGpxPoint(out, *p);
        }
        out += "    </trkseg>\n";
    }
    out += "  </trk>\n</gpx>\n";
    return out;
}

std::string KmlText(const TrackPoints& points, const std::string& name) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n  <Document>\n    <name>" +
        XmlEscaped(name) + "</name>\n";
    const auto segments = Segments(points);
    for (const auto& segment : segments) {
        AppendKmlSegment(out, segment);
    }
    out += "    <Folder>\n      <name>Fixes</name>\n";
    for (const auto& segment : segments) {
        for (const TrackPoint* p : segment) {
            AppendKmlPoint(out, *p);
        }
    }
    out += "    </Folder>\n  </Document>\n</kml>\n";
    return out;
}

std::string CsvText(const TrackPoints& points) {
    std::string out = "time_utc,latitude,longitude,speed_kmh,course,x,y,z,fix\n";
    for (const TrackPoint& p : points) {
        out += CsvRow(p);
    }
    return out;
}

std::string TrackText(TrackFormat format, const TrackPoints& points, const std::string& name) {
    switch (format) {
        case TrackFormat::kGpx:
            return GpxText(points, name);
        case TrackFormat::kKml:
            return KmlText(points, name);
        case TrackFormat::kCsv:
            return CsvText(points);
        case TrackFormat::kNone:
            break;
    }
    return {};
}

bool SaveTextFile(const std::string& path, const std::string& text, std::string& error) {
    ReplacingFile file;
    if (!file.Create(path, &error)) {
        return false;
    }
    if (!WriteAll(file.Fd(), text.data(), text.size())) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return file.Commit(&error);
}

}  // namespace velmaro
