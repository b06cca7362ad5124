// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The telemetry of a recording, of a marked stretch or of one local day of a card, read from the
// recording files and turned into track points on the camera's clock. Runs on the caller's
// thread (the track export worker, the clip export worker, the command-line tool); reading a
// card's day reads every byte of its recordings, so `cancelled` is asked between blocks.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/recording_day.h"
#include "export/clip_export.h"
#include "export/telemetry_collector.h"
#include "export/track_point.h"

namespace velmaro {

// Asked between reads; true ends the collection with an error.
using Cancelled = std::function<bool()>;

struct TrackResult {
    bool ok = false;
    std::string error;
    TrackPoints points;  // in recording order
    // Camera time of the first picture in the collected stretch: where a clip of it starts
    // playing. The first text's time when the stretch holds no picture.
    double origin = 0.0;
    int files = 0;  // recording files read
};

// Reads the telemetry of one file. False with `error` set when it cannot be opened or read.
bool CollectFileTelemetry(const std::string& path, TelemetryCollector& collector,
                          std::string& error, const Cancelled& cancelled = {});

// A picture of a recording file and the telemetry of its moment.
struct PictureTelemetry {
    double cameraTime = 0.0;  // the picture's, on the camera's clock as the track counts it
    // The text in force then: the last one stamped at or before the picture.
    std::optional<TrackPoint> text;
};

// The picture whose PES begins at `picturePos` with presentation time `pts`: placed by the file
// time and its last picture time as the track places texts, and the text of its second found in
// the stretch of the file around it, not the whole file. No text when that stretch holds none
// before the picture. False with `error` set when the file cannot be read or has no usable time.
bool CollectPictureTelemetry(const std::string& path, int64_t picturePos, double pts,
                             PictureTelemetry& result, std::string& error);

// Every telemetry text of one recording file.
TrackResult CollectRecordingTrack(const std::string& path, const Cancelled& cancelled = {});

// The texts between the marks, across the files numbered in between, by the same positions the
// clip export cuts at: a text belongs to the stretch when the packet that begins it lies at or
// after the mark-in position of the mark-in file and before the mark-out position of the
// mark-out file.
TrackResult CollectStretchTrack(const ClipMarks& marks, const Cancelled& cancelled = {});

// Every recording of `folder` (with its trailing '/') that starts on the local day `date` by the
// camera's clock moved by `shift` seconds, in time order.
TrackResult CollectDayTrack(const std::string& folder, CivilDate date,
                            const Cancelled& cancelled = {}, int64_t shift = 0);

// Turns the texts of one file into points. `fileEnd` is the file's time on the camera's clock
// (LastWriteTime), which stands for its last picture; texts are placed by their distance from it.
// `gsensor` carries the axes from text to text and file to file.
void AppendPoints(const TelemetryCollector& collector, int64_t fromPos, int64_t toPos,
                  double fileEnd, GSensorRecord& gsensor, TrackPoints& points);

}  // namespace velmaro
