// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The clip export's packet walk over arbitrary recordings: the input becomes two numbered files
// of a card, the first bytes choose the marks and the clip kind (.ts or .avi), and the worker
// runs to its end report. No crash, no hang, no sanitizer report, and no temporary file left.
#include <stdlib.h>
#include <unistd.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include "export/clip_export.h"

namespace {

using namespace velmaro;
namespace fs = std::filesystem;

constexpr size_t kHeader = 8;  // split, mark-in, mark-out (2 bytes each), kind, spare

const std::string& Folder() {
    static const std::string folder = [] {
        std::string pattern = (fs::temp_directory_path() / "fuzz_export_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        return pattern;
    }();
    return folder;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

size_t Scaled(const uint8_t* bytes, size_t range) {
    return range == 0 ? 0 : (size_t{bytes[0]} << 8 | bytes[1]) * range / 0x10000;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeader) {
        return 0;
    }
    const uint8_t* body = data + kHeader;
    const size_t bodySize = size - kHeader;
    const size_t split = Scaled(data, bodySize);
    const std::string first = Folder() + "/REC_0001.ts";
    const std::string second = Folder() + "/REC_0002.ts";
    WriteFile(first, body, split);
    WriteFile(second, body + split, bodySize - split);

    ExportRequest request;
    const bool avi = (data[6] & 1) != 0;
    const bool across = (data[6] & 2) != 0;
    request.outputPath = Folder() + (avi ? "/clip.avi" : "/clip.ts");
    request.width = 320;
    request.height = 240;
    request.syncBeforeRename = false;
    request.marks.inPath = first;
    request.marks.inPos = static_cast<int64_t>(Scaled(data + 2, split + 1));
    request.marks.outPath = across ? second : first;
    request.marks.outPos =
        across ? static_cast<int64_t>(Scaled(data + 4, bodySize - split + 1))
               : request.marks.inPos + 1 + static_cast<int64_t>(Scaled(data + 4, split + 1));

    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    {
        ClipExport backup([&](const ExportOutcome&) {
            std::lock_guard lock(mutex);
            done = true;
            ended.notify_all();
        });
        if (backup.Begin(request)) {
            std::unique_lock lock(mutex);
            ended.wait(lock, [&] { return done; });
        }
    }
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(Folder(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name != "REC_0001.ts" && name != "REC_0002.ts" && name != "clip.ts" &&
            name != "clip.avi") {
            std::abort();  // a temporary file outlived its export
        }
    }
    fs::remove(request.outputPath, ec);
    return 0;
}
