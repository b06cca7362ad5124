#include "stream/recording_files.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>
#include <vector>

namespace velmaro {
namespace {

constexpr size_t kMaxNumberDigits = 9;  // any 9-digit number fits in int32

}  // namespace

int32_t RecordingNumber(const std::string& path) {
    const size_t underscore = path.rfind('_');
    const size_t dot = path.rfind('.');
    if (underscore == std::string::npos || dot == std::string::npos || underscore == 0 ||
        dot == 0 || dot <= underscore + 1) {
        return -1;
    }
    const std::string digits = path.substr(underscore + 1, dot - underscore - 1);
    if (digits.size() > kMaxNumberDigits ||
        !std::all_of(digits.begin(), digits.end(),
                     [](unsigned char c) { return std::isdigit(c) != 0; })) {
        return -1;
    }
    return std::stoi(digits);
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
