// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
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
