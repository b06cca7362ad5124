// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What lives for the whole run and the windows share: the playback session (the engine), the
// version text and the recording named on the command line. The application object holds it;
// tests give the windows one of their own.
#pragma once

#include <string>

#include "playback/playback_session.h"

namespace velmaro {

struct AppShared {
    PlaybackSession session;
    std::string versionText;
    std::string commandLineFile;
};

}  // namespace velmaro
