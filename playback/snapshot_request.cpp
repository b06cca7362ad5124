// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/snapshot_request.h"

#include <cmath>

#include "app/clock_check.h"
#include "export/track_source.h"
#include "media/snapshot_writer.h"
#include "playback/playback_channel.h"

namespace velmaro {
namespace {

SnapshotStamp PictureStamp(const PictureTelemetry& picture, int64_t clockShift) {
    SnapshotStamp stamp;
    const int64_t time = static_cast<int64_t>(std::floor(picture.cameraTime)) + clockShift;
    stamp.time = time;
    if (picture.text && picture.text->valid) {
        stamp.fix = SnapshotFix{picture.text->fix, picture.text->utcMs};
        if (picture.text->utcMs) {
            stamp.zoneOffsetMinutes = CameraZoneOffset(time, *picture.text->utcMs);
        }
    }
    return stamp;
}

}  // namespace

// The stamp is of the picture on screen at the click; the video worker saves the one on screen
// when it serves the request, while playing a frame or two later at most.
SnapshotRequest ChannelSnapshotRequest(const PlaybackChannel& channel, const std::string& folder,
                                       int64_t clockShift, std::time_t clickTime) {
    SnapshotRequest request;
    const ShownPicture shown = channel.state.Shown();
    const std::string path = shown.valid ? channel.reader.PathOfSerial(shown.fileSerial) : "";
    PictureTelemetry picture;
    std::string unknown;  // why the picture's time cannot be told: then the click names it
    if (!path.empty() && shown.filePos >= 0 &&
        CollectPictureTelemetry(path, shown.filePos, shown.pts, picture, unknown)) {
        request.stamp = PictureStamp(picture, clockShift);
    }
    const int64_t name = request.stamp.time.value_or(static_cast<int64_t>(clickTime));
    request.path = SnapshotFilePath(folder, static_cast<std::time_t>(name));
    return request;
}

}  // namespace velmaro
