// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Private-profile (INI) files with the semantics the settings and language files were written
// for: case-insensitive sections and keys, values cut to what a 260-character read buffer holds,
// the caller's default for anything missing. Reads UTF-8 (with or without BOM) and UTF-16 with
// a BOM; writes UTF-8, replacing the file atomically and leaving every line it did not change
// byte for byte as it was (comments, unknown keys, order, line endings).
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmaro {

// Longest value a read returns, in UTF-16 code units: callers read into 260-unit buffers.
inline constexpr size_t kProfileValueLimit = 259;

enum class IniStatus {
    kOk,
    kMissing,          // no such file: the store is empty and usable, defaults apply
    kUnreadable,       // exists but cannot be read (or is absurdly large): never overwrite it
    kInvalidArgument,  // a name or value that a profile line cannot carry (line breaks, NUL, ...)
    kWriteFailed,      // folder not writable, disk full, ...: the caller keeps its values in memory
};

enum class IniEncoding { kUtf8, kUtf8Bom, kUtf16Le, kUtf16Be };

class IniFile {
  public:
    // kOk, kMissing (the store is then empty) or kUnreadable (the store is left empty too).
    IniStatus Load(const std::filesystem::path& path);
    // Takes the raw bytes of a file; never fails, whatever the bytes.
    void Parse(std::string_view bytes);
    // UTF-8 text; carries a BOM when the source had one of any kind.
    std::string Serialize() const;
    // Writes a temporary file beside `path`, syncs it and renames it over `path`.
    IniStatus Save(const std::filesystem::path& path) const;

    // The value as a profile read returns it (quotes removed, cut to kProfileValueLimit), or
    // nothing when the section or key is missing or the line has no '='.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view fallback) const;
    // `fallback` only when the key is missing or empty; text that is not a number gives 0.
    int GetInt(std::string_view section, std::string_view key, int fallback) const;
    // Replaces the first matching key of the first matching section, or adds the key at the end
    // of that section, or adds the section at the end of the file.
    IniStatus SetString(std::string_view section, std::string_view key, std::string_view value);

    // Every section header in file order (duplicates included), and the keys of the first
    // section matching `section`: what a lookup can reach.
    std::vector<std::string> SectionNames() const;
    std::vector<std::string> KeyNames(std::string_view section) const;

    IniEncoding SourceEncoding() const { return encoding_; }

  private:
    size_t FindSectionLine(std::string_view section) const;
    size_t SectionEnd(size_t headerLine) const;
    size_t FindKeyLine(size_t headerLine, std::string_view key) const;
    size_t InsertionPoint(size_t headerLine) const;
    void InsertLine(size_t at, std::string text);
    std::string LineEnding() const { return crlf_ ? "\r" : ""; }

    std::vector<std::string> lines_;  // text of each line, '\n' removed, a trailing '\r' kept
    IniEncoding encoding_ = IniEncoding::kUtf8;
    bool crlf_ = false;          // line style for lines we add
    bool finalNewline_ = false;  // whether the last line was terminated
};

// A value as a read returns it: cut to kProfileValueLimit UTF-16 units, never inside a character.
std::string TruncateProfileValue(std::string_view value);
// The integer reading of a profile value: optional sign, 0x/0o/0b prefixes, leading digits,
// 32-bit wrap-around; anything else gives 0.
int ParseProfileInt(std::string_view text);

// One call each, reading (or rewriting) the file fresh, like the platform calls they stand for.
std::string ReadProfileString(const std::filesystem::path& path, std::string_view section,
                              std::string_view key, std::string_view fallback);
int ReadProfileInt(const std::filesystem::path& path, std::string_view section,
                   std::string_view key, int fallback);
// Fails with kUnreadable rather than replace a file it could not read.
IniStatus WriteProfileString(const std::filesystem::path& path, std::string_view section,
                             std::string_view key, std::string_view value);

}  // namespace velmaro
