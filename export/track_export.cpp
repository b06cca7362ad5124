// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/track_export.h"

#include <filesystem>
#include <system_error>

#include "export/track_writer.h"
#include "stream/recording_files.h"

namespace velmaro {
namespace {

TrackResult Collect(const TrackRequest& request, const Cancelled& cancelled) {
    switch (request.scope) {
        case TrackScope::kRecording:
            return CollectRecordingTrack(request.recordingPath, cancelled);
        case TrackScope::kStretch:
            return CollectStretchTrack(request.marks, cancelled);
        case TrackScope::kDay:
            return CollectDayTrack(FolderOf(request.recordingPath), request.day, cancelled,
                                   request.dayShift);
    }
    return {};
}

}  // namespace

TrackOutcome RunTrackExport(const TrackRequest& request, const Cancelled& cancelled) {
    TrackOutcome outcome;
    outcome.outputPath = request.outputPath;
    const TrackFormat format = TrackFormatForPath(request.outputPath);
    if (format == TrackFormat::kNone) {
        outcome.error = "a track is saved as .gpx, .kml or .csv: " + request.outputPath;
        return outcome;
    }
    const TrackResult track = Collect(request, cancelled);
    if (!track.ok) {
        outcome.error = track.error;
        return outcome;
    }
    outcome.texts = track.points.size();
    for (const TrackPoint& p : track.points) {
        outcome.fixes += p.valid ? 1 : 0;
    }
    if (outcome.texts == 0) {
        outcome.error = "the recordings hold no telemetry";
        return outcome;
    }
    const std::string name = std::filesystem::path(request.outputPath).stem().string();
    const std::string text = TrackText(format, track.points, name);
    if (text.empty()) {
        outcome.error = "out of memory while building the track text";
        return outcome;
    }
    outcome.ok = SaveTextFile(request.outputPath, text, outcome.error);
    return outcome;
}

TrackExport::TrackExport(EndCallback onEnd) : onEnd_(std::move(onEnd)) {}

TrackExport::~TrackExport() {
    Stop();
}

bool TrackExport::Start(const TrackRequest& request) {
    Stop();
    stopAsked_.store(false);
    running_.store(true);
    try {
        thread_ = std::thread([this, request] {
            const TrackOutcome outcome =
                RunTrackExport(request, [this] { return stopAsked_.load(); });
            running_.store(false);
            if (onEnd_) {
                onEnd_(outcome);
            }
        });
    } catch (const std::system_error&) {
        running_.store(false);
        return false;
    }
    return true;
}

void TrackExport::Stop() {
    stopAsked_.store(true);
    if (thread_.joinable()) {
        thread_.join();
    }
    running_.store(false);
}

}  // namespace velmaro
