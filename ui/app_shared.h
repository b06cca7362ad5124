// What lives for the whole run and the windows share: the telemetry hand-over from the reader,
// the latest G-sensor values, the version text and the recording named on the command line.
// The application object holds it; tests give the windows one of their own.
#pragma once

#include <string>

#include "stream/telemetry.h"
#include "stream/telemetry_handover.h"

namespace velmaro {

struct AppShared {
    TelemetryHandOver gpsSentence;  // the reader stores, the GUI thread takes
    GSensorRecord gSensor;          // written by the telemetry parse on the GUI thread
    std::string versionText;
    std::string commandLineFile;
};

}  // namespace velmaro
