#include "export/clip_subtitles.h"

#include <cstdio>

#include "export/subtitle_writer.h"
#include "export/track_writer.h"

namespace velmaro {

bool WriteClipSubtitles(const ClipMarks& marks, const std::string& clipPath, int speedUnit,
                        std::string& error, const Cancelled& cancelled) {
    const std::string path = SubtitlePathFor(clipPath);
    const TrackResult track = CollectStretchTrack(marks, cancelled);
    if (!track.ok) {
        error = "no subtitles: " + track.error;
        return false;
    }
    if (track.points.empty()) {
        std::remove(path.c_str());
        return true;
    }
    return SaveTextFile(path, SrtText(track.points, track.origin, speedUnit), error);
}

}  // namespace velmaro
