#include "stream/standalone_reader.h"

namespace velmaro {

StandaloneReader::StandaloneReader(int32_t queueMode)
    : ready_(OpenFrameQueues(video, audio, queueMode)),
      reader({&controls, &video, &audio, &telemetry, &panel, &mainWindow}) {}

void StandaloneReader::Stop() {
    video.Stop();
    audio.Stop();
    reader.Stop();
}

}  // namespace velmaro
