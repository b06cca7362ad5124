// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mount_table.h"

#include <charconv>
#include <cstddef>

#include "platform/regular_file.h"

namespace velmaro {
namespace {

// Far beyond any real mount table (thousands of mounts take a few hundred KiB); a file larger
// than this is not one.
constexpr size_t kMountTableLimit = 16u << 20;
constexpr size_t kOctalEscapeLength = 4;  // a backslash and three digits
constexpr int kFieldsBeforeOptional = 6;

bool IsOctalDigit(char c) {
    return c >= '0' && c <= '7';
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t at = 0;
    while (at <= line.size()) {
        const size_t space = line.find(' ', at);
        const size_t end = space == std::string_view::npos ? line.size() : space;
        if (end > at) {
            fields.push_back(line.substr(at, end - at));
        }
        at = end + 1;
    }
    return fields;
}

template <typename Number>
bool ParseNumber(std::string_view text, Number& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

bool ParseDevice(std::string_view text, MountEntry& entry) {
    const size_t colon = text.find(':');
    return colon != std::string_view::npos && ParseNumber(text.substr(0, colon), entry.major) &&
           ParseNumber(text.substr(colon + 1), entry.minor);
}

// "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw,errors=continue": the
// optional fields between the mount options and the separator vary in number.
std::optional<MountEntry> ParseLine(std::string_view line) {
    const std::vector<std::string_view> fields = SplitFields(line);
    size_t separator = kFieldsBeforeOptional;
    while (separator < fields.size() && fields[separator] != "-") {
        ++separator;
    }
    if (separator + 1 >= fields.size()) {
        return std::nullopt;
    }
    MountEntry entry;
    if (!ParseNumber(fields[0], entry.mountId) || !ParseNumber(fields[1], entry.parentId) ||
        !ParseDevice(fields[2], entry)) {
        return std::nullopt;
    }
    entry.root = UnescapeMountField(fields[3]);
    entry.mountPoint = UnescapeMountField(fields[4]);
    entry.mountOptions = UnescapeMountField(fields[5]);
    entry.fsType = UnescapeMountField(fields[separator + 1]);
    if (separator + 2 < fields.size()) {
        entry.source = UnescapeMountField(fields[separator + 2]);
    }
    if (separator + 3 < fields.size()) {
        entry.superOptions = UnescapeMountField(fields[separator + 3]);
    }
    return entry;
}

// True when `folder` is `path` itself or one of the folders it lies in.
bool Contains(const std::string& folder, const std::string& path) {
    if (folder.empty() || path.compare(0, folder.size(), folder) != 0) {
        return false;
    }
    return path.size() == folder.size() || folder.back() == '/' || path[folder.size()] == '/';
}

}  // namespace

std::string UnescapeMountField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + kOctalEscapeLength <= field.size() &&
            IsOctalDigit(field[i + 1]) && IsOctalDigit(field[i + 2]) &&
            IsOctalDigit(field[i + 3])) {
            const int value =
                (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            out.push_back(static_cast<char>(value & 0xFF));
            i += kOctalEscapeLength - 1;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
    std::vector<MountEntry> mounts;
    size_t at = 0;
    while (at < text.size()) {
        const size_t newline = text.find('\n', at);
        const size_t end = newline == std::string_view::npos ? text.size() : newline;
        if (std::optional<MountEntry> entry = ParseLine(text.substr(at, end - at))) {
            mounts.push_back(std::move(*entry));
        }
        at = end + 1;
    }
    return mounts;
}

std::vector<MountEntry> ReadMountTable(const std::string& path) {
    const std::optional<std::string> text = ReadSmallFile(path, kMountTableLimit);
    return text ? ParseMountInfo(*text) : std::vector<MountEntry>();
}

const MountEntry* MountOf(const std::vector<MountEntry>& mounts, const std::string& absolutePath) {
    const MountEntry* best = nullptr;
    for (const MountEntry& m : mounts) {
        if (Contains(m.mountPoint, absolutePath) &&
            (best == nullptr || m.mountPoint.size() >= best->mountPoint.size())) {
            best = &m;
        }
    }
    return best;
}

std::optional<std::string> MountOption(std::string_view options, std::string_view key) {
    std::optional<std::string> value;
    size_t at = 0;
    while (at <= options.size()) {
        const size_t comma = options.find(',', at);
        const size_t end = comma == std::string_view::npos ? options.size() : comma;
        const std::string_view option = options.substr(at, end - at);
        const size_t equals = option.find('=');
        if (option.substr(0, equals) == key) {
            value = equals == std::string_view::npos ? std::string()
                                                     : std::string(option.substr(equals + 1));
        }
        at = end + 1;
    }
    return value;
}

}  // namespace velmaro
