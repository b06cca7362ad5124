// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The EXIF tags of a file as exiftool, a reader independent of the one that wrote them, sees
// them: by tag name, numbers as plain numbers (latitudes without their sign, which is in the
// reference tag). Empty when exiftool finds none.
#pragma once

#include <map>
#include <sstream>
#include <string>

#include "tests/test_support.h"

namespace velmaro::test {

inline std::map<std::string, std::string> ExifTags(const std::string& path) {
    const CommandResult run = RunCommand("exiftool -a -n -S -EXIF:all " + ShellQuote(path));
    std::map<std::string, std::string> tags;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        const size_t colon = line.find(": ");
        if (colon != std::string::npos) {
            tags[line.substr(0, colon)] = line.substr(colon + 2);
        }
    }
    return tags;
}

}  // namespace velmaro::test
