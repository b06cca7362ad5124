// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream/recording_files.h"

#include <cctype>
#include <filesystem>
#include <limits>
#include <system_error>
#include <vector>

namespace velmaro {

int32_t RecordingNumber(const std::string& path) {
    const size_t underscore = path.rfind('_');
    const size_t dot = path.rfind('.');
    if (underscore == std::string::npos || dot == std::string::npos || underscore == 0 ||
        dot == 0 || dot <= underscore + 1) {
        return -1;
    }
    int64_t value = 0;
    for (size_t i = underscore + 1; i < dot; ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (std::isdigit(c) == 0) {
            return -1;
        }
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<int32_t>::max()) {
            return -1;  // leading zeros are fine; only a value beyond 32 bits is refused
        }
    }
    return static_cast<int32_t>(value);
}

bool IsRecordingName(const std::string& name) {
    return name.size() >= 3 && name[name.size() - 3] == '.' &&
           std::tolower(static_cast<unsigned char>(name[name.size() - 2])) == 't' &&
           std::tolower(static_cast<unsigned char>(name[name.size() - 1])) == 's';
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FindAdjacentRecording(const std::string& path, int step) {
    const int32_t n = RecordingNumber(path);
    if (n < 0) {
        return {};
    }
    const int64_t wanted = int64_t{n} + step;
    if (wanted < 0) {
        return {};  // -1 is what a name without a number gives; it is no neighbour
    }
    const std::string folder = FolderOf(path);
    std::error_code ec;
    std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec);
    std::string best;
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!IsRecordingName(name) || RecordingNumber(name) != wanted) {
            continue;
        }
        std::error_code typeError;
        if (!it->is_regular_file(typeError) || (!best.empty() && name >= best)) {
            continue;
        }
        best = name;
    }
    return best.empty() ? std::string() : folder + best;
}

}  // namespace velmaro
