// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Turns the probe's PATH arguments into the recording files to probe.
#pragma once

#include <string>
#include <vector>

namespace velmaro {

struct ProbeFileList {
    std::vector<std::string> files;
    std::vector<std::string> errors;  // one message per path that gave nothing to probe
};

// A file is taken as it is. A card root (a folder with DCIM/*MEDIA folders) gives every
// `.ts` file found recursively below those folders; any other folder gives the `.ts` files
// directly in it. Names are matched without regard to case, as FAT cards often hold
// `FILE0001.TS`. The files of each argument are sorted by path, so by name within a folder.
ProbeFileList CollectProbeFiles(const std::vector<std::string>& paths);

}  // namespace velmaro
