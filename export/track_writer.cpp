// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/track_writer.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <iterator>
#include <vector>

#include "export/file_copy.h"
#include "export/track_text.h"
#include "export/xml_writer.h"
#include "platform/write_all.h"

namespace velmaro {
namespace {

constexpr int kCoordinateDecimals = 9;  // well below a millimetre
constexpr int kSpeedDecimals = 3;
constexpr int kCourseDecimals = 2;
constexpr double kCourseSteps = 100.0;  // per degree, as kCourseDecimals writes them
constexpr double kFullCircle = 360.0;
constexpr int kAxisDecimals = 4;
constexpr double kMetresPerSecondPerKmh = 1.0 / 3.6;
constexpr double kLongitudeWrap = 180.0;

constexpr const char* kGpxNamespace = "http://www.topografix.com/GPX/1/1";
constexpr const char* kSchemaInstanceNamespace = "http://www.w3.org/2001/XMLSchema-instance";
constexpr const char* kGpxSchemaLocations =
    "http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd "
    "http://www.garmin.com/xmlschemas/TrackPointExtension/v2 "
    "http://www.garmin.com/xmlschemas/TrackPointExtensionv2.xsd";
constexpr const char* kKmlNamespace = "http://www.opengis.net/kml/2.2";
constexpr const char* kKmlExtensionNamespace = "http://www.google.com/kml/ext/2.2";

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

// TrackPointExtension's course runs from 0 up to, not including, 360; rounded to the written
// decimals a heading just short of north would read 360.00.
std::string GpxCourse(double course) {
    constexpr double kCircleSteps = kFullCircle * kCourseSteps;
    double steps = std::fmod(std::round(course * kCourseSteps), kCircleSteps);
    if (steps < 0.0) {
        steps += kCircleSteps;
    }
    return FixedText(steps / kCourseSteps, kCourseDecimals);
}

void WriteGpxPoint(XmlWriter& xml, const TrackPoint& p) {
    xml.Start("trkpt");
    xml.Attribute("lat", FixedText(p.fix.latitude, kCoordinateDecimals));
    xml.Attribute("lon", FixedText(GpxLongitude(p.fix.longitude), kCoordinateDecimals));
    if (p.utcMs) {
        xml.Element("time", UtcText(*p.utcMs));
    }
    xml.Start("extensions");
    xml.Start("gpxtpx:TrackPointExtension");
    xml.Element("gpxtpx:speed", FixedText(p.fix.speed * kMetresPerSecondPerKmh, kSpeedDecimals));
    xml.Element("gpxtpx:course", GpxCourse(p.fix.course));
    xml.End();
    xml.End();
    xml.End();
}

std::string KmlCoordinate(const TrackPoint& p) {
    return FixedText(p.fix.longitude, kCoordinateDecimals) + ',' +
           FixedText(p.fix.latitude, kCoordinateDecimals) + ",0";
}

// gx:coord separates longitude, latitude and altitude by blanks, not commas.
std::string KmlTrackCoordinate(const TrackPoint& p) {
    return FixedText(p.fix.longitude, kCoordinateDecimals) + ' ' +
           FixedText(p.fix.latitude, kCoordinateDecimals) + " 0";
}

void WriteKmlLine(XmlWriter& xml, const std::vector<const TrackPoint*>& segment) {
    xml.Start("Placemark");
    xml.Element("name", "Route");
    const TrackPoint& first = *segment.front();
    const TrackPoint& last = *segment.back();
    if (first.utcMs && last.utcMs) {
        xml.Start("TimeSpan");
        xml.Element("begin", UtcText(*first.utcMs));
        xml.Element("end", UtcText(*last.utcMs));
        xml.End();
    }
    xml.Start("LineString");
    xml.Element("tessellate", "1");
    std::string coordinates = KmlCoordinate(first);
    for (auto p = segment.begin() + 1; p != segment.end(); ++p) {
        coordinates += ' ' + KmlCoordinate(**p);
    }
    // A line needs two places; a lone fix is drawn from and to itself.
    if (segment.size() == 1) {
        coordinates += ' ' + KmlCoordinate(first);
    }
    xml.Element("coordinates", coordinates);
    xml.End();
    xml.End();
}

// The same places with their times, which the line cannot carry: what a time slider or a
// replay of the drive needs. A fix without a date cannot be placed in time and is left out.
void WriteKmlTrack(XmlWriter& xml, const std::vector<const TrackPoint*>& segment) {
    std::vector<const TrackPoint*> timed;
    std::copy_if(segment.begin(), segment.end(), std::back_inserter(timed),
                 [](const TrackPoint* p) { return p->utcMs.has_value(); });
    if (timed.empty()) {
        return;
    }
    xml.Start("Placemark");
    xml.Element("name", "Track");
    xml.Start("gx:Track");
    for (const TrackPoint* p : timed) {
        xml.Element("when", UtcText(*p->utcMs));
    }
    for (const TrackPoint* p : timed) {
        xml.Element("gx:coord", KmlTrackCoordinate(*p));
    }
    xml.End();
    xml.End();
}

void WriteKmlPoint(XmlWriter& xml, const TrackPoint& p) {
    xml.Start("Placemark");
    if (p.utcMs) {
        xml.Start("TimeStamp");
        xml.Element("when", UtcText(*p.utcMs));
        xml.End();
    }
    xml.Start("Point");
    xml.Element("coordinates", KmlCoordinate(p));
    xml.End();
    xml.End();
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
    XmlWriter xml;
    xml.Start("gpx");
    xml.Attribute("version", "1.1");
    xml.Attribute("creator", "Velmaro");
    xml.Attribute("xmlns", kGpxNamespace);
    xml.Attribute("xmlns:gpxtpx", kTrackPointExtensionNamespace);
    xml.Attribute("xmlns:xsi", kSchemaInstanceNamespace);
    xml.Attribute("xsi:schemaLocation", kGpxSchemaLocations);
    xml.Start("trk");
    xml.Element("name", name);
    for (const auto& segment : Segments(points)) {
        xml.Start("trkseg");
        for (const TrackPoint* p : segment) {
            WriteGpxPoint(xml, *p);
        }
        xml.End();
    }
    return xml.Finish().value_or(std::string());
}

std::string KmlText(const TrackPoints& points, const std::string& name) {
    XmlWriter xml;
    xml.Start("kml");
    xml.Attribute("xmlns", kKmlNamespace);
    xml.Attribute("xmlns:gx", kKmlExtensionNamespace);
    xml.Start("Document");
    xml.Element("name", name);
    const auto segments = Segments(points);
    for (const auto& segment : segments) {
        WriteKmlLine(xml, segment);
        WriteKmlTrack(xml, segment);
    }
    xml.Start("Folder");
    xml.Element("name", "Fixes");
    for (const auto& segment : segments) {
        for (const TrackPoint* p : segment) {
            WriteKmlPoint(xml, *p);
        }
    }
    return xml.Finish().value_or(std::string());
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
