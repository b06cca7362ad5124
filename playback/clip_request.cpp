// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/clip_request.h"

#include "playback/playback_channel.h"

namespace velmaro {

ExportRequest ChannelExportRequest(const PlaybackChannel& channel, const std::string& outputPath) {
    const ClipMark in = channel.MarkInPoint();
    const ClipMark out = channel.MarkOutPoint();
    ExportRequest request;
    request.outputPath = outputPath;
    request.frameRate = channel.state.clock.Rate();
    request.width = channel.state.videoWidth.load();
    request.height = channel.state.videoHeight.load();
    request.marks = {in.path, in.position, out.path, out.position};
    request.keepPaths.push_back(channel.reader.CurrentPath());
    return request;
}

}  // namespace velmaro
