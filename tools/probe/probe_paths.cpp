// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/probe/probe_paths.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace velmaro {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kRecordingExtension = ".ts";
constexpr std::string_view kCardFolder = "dcim";
constexpr std::string_view kMediaSuffix = "media";

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

bool IsRecording(const fs::directory_entry& entry) {
    std::error_code ec;
    return entry.is_regular_file(ec) &&
           EndsWith(Lower(entry.path().filename().string()), kRecordingExtension);
}

bool IsFolder(const fs::directory_entry& entry) {
    std::error_code ec;
    return entry.is_directory(ec);
}

// Sub-folders of `folder` whose lower-case name passes `match`.
template <typename Match>
std::vector<fs::path> SubFolders(const fs::path& folder, Match&& match) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (IsFolder(*it) && match(Lower(it->path().filename().string()))) {
            found.push_back(it->path());
        }
    }
    return found;
}

// The DCIM/*MEDIA folders of a card root; empty for any other folder.
std::vector<fs::path> MediaFolders(const fs::path& root) {
    std::vector<fs::path> media;
    for (const fs::path& dcim :
         SubFolders(root, [](const std::string& name) { return name == kCardFolder; })) {
        for (fs::path& folder : SubFolders(
                 dcim, [](const std::string& name) { return EndsWith(name, kMediaSuffix); })) {
            media.push_back(std::move(folder));
        }
    }
    return media;
}

void AddRecordingsBelow(const fs::path& folder, std::vector<std::string>& files) {
    std::error_code ec;
    const auto options = fs::directory_options::skip_permission_denied;
    for (fs::recursive_directory_iterator it(folder, options, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (IsRecording(*it)) {
            files.push_back(it->path().string());
        }
    }
}

// False with a message when the folder cannot be listed.
bool AddRecordingsIn(const fs::path& folder, std::vector<std::string>& files, std::string& error) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) {
        error = "cannot read the folder " + folder.string() + ": " + ec.message();
        return false;
    }
    for (fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        if (IsRecording(*it)) {
            files.push_back(it->path().string());
        }
    }
    return true;
}

void CollectFolder(const fs::path& folder, ProbeFileList& list) {
    std::vector<std::string> files;
    const std::vector<fs::path> media = MediaFolders(folder);
    std::string error;
    if (media.empty() && !AddRecordingsIn(folder, files, error)) {
        list.errors.push_back(error);
        return;
    }
    for (const fs::path& m : media) {
        AddRecordingsBelow(m, files);
    }
    if (files.empty()) {
        list.errors.push_back("no .ts files in " + folder.string() +
                              (media.empty() ? "" : " (searched DCIM/*MEDIA)"));
        return;
    }
    std::sort(files.begin(), files.end());
    list.files.insert(list.files.end(), files.begin(), files.end());
}

}  // namespace

ProbeFileList CollectProbeFiles(const std::vector<std::string>& paths) {
    ProbeFileList list;
    for (const std::string& path : paths) {
        std::error_code ec;
        const fs::file_status status = fs::status(path, ec);
        if (ec || !fs::exists(status)) {
            list.errors.push_back("cannot find " + path + ": " +
                                  (ec ? ec.message() : "no such file or folder"));
        } else if (fs::is_directory(status)) {
            CollectFolder(path, list);
        } else {
            list.files.push_back(path);
        }
    }
    return list;
}

}  // namespace velmaro
