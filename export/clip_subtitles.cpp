// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/clip_subtitles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "export/subtitle_writer.h"
#include "export/track_writer.h"

namespace velmaro {

SidecarPlace SidecarPlaceFor(const std::string& clipPath) {
    struct stat st {};
    if (::lstat(SubtitlePathFor(clipPath).c_str(), &st) != 0) {
        return errno == ENOENT ? SidecarPlace::kFree : SidecarPlace::kInTheWay;
    }
    return S_ISREG(st.st_mode) ? SidecarPlace::kFile : SidecarPlace::kInTheWay;
}

bool WriteClipSubtitles(const ClipMarks& marks, const std::string& clipPath, int speedUnit,
                        bool replace, std::string& error, const Cancelled& cancelled) {
    const std::string path = SubtitlePathFor(clipPath);
    const SidecarPlace place = SidecarPlaceFor(clipPath);
    if (place == SidecarPlace::kInTheWay) {
        error = "no subtitles: " + path + " is not a regular file and was left as it is";
        return false;
    }
    if (place == SidecarPlace::kFile && !replace) {
        error = "no subtitles: " + path + " exists and was not replaced";
        return false;
    }
    const TrackResult track = CollectStretchTrack(marks, cancelled);
    if (!track.ok) {
        error = "no subtitles: " + track.error;
        return false;
    }
    if (track.points.empty()) {
        if (place == SidecarPlace::kFile && ::unlink(path.c_str()) != 0) {
            error = "cannot remove " + path;
            return false;
        }
        return true;
    }
    return SaveTextFile(path, SrtText(track.points, track.origin, speedUnit), error);
}

}  // namespace velmaro
