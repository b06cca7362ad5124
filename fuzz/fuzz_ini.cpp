// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as a private-profile file, read as given (UTF-8, or UTF-16 when they start
// with a BOM) and once more forced through the UTF-16LE path. Every lookup must survive, and
// writing a file out and reading it back must answer every lookup the same way.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ini_file.h"

namespace {

using velmaro::IniFile;
using velmaro::IniStatus;

// Lookups are linear in the file: bound them so large inputs stay fast.
constexpr size_t kMaxLookups = 16;
constexpr size_t kMaxWrittenValue = 300;

struct Lookup {
    std::string section;
    std::string key;
    std::string value;
    int number;
};

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::vector<Lookup> AllLookups(const IniFile& file) {
    std::vector<Lookup> lookups;
    std::vector<std::string> sections = file.SectionNames();
    sections.resize(std::min(sections.size(), kMaxLookups));
    for (const std::string& section : sections) {
        for (const std::string& key : file.KeyNames(section)) {
            if (lookups.size() == kMaxLookups) {
                return lookups;
            }
            const std::string value = file.GetString(section, key, "\x01missing");
            Require(value.size() <= 4 * velmaro::kProfileValueLimit);
            lookups.push_back({section, key, value, file.GetInt(section, key, -12345)});
        }
    }
    return lookups;
}

void RequireSameAnswers(const IniFile& file, const std::vector<Lookup>& expected) {
    for (const Lookup& lookup : expected) {
        Require(file.GetString(lookup.section, lookup.key, "\x01missing") == lookup.value);
        Require(file.GetInt(lookup.section, lookup.key, -12345) == lookup.number);
    }
}

IniFile Reparsed(const IniFile& file) {
    IniFile again;
    again.Parse(file.Serialize());
    return again;
}

void CheckRoundTrip(const IniFile& file) {
    const std::vector<Lookup> lookups = AllLookups(file);
    const IniFile again = Reparsed(file);
    Require(again.SectionNames() == file.SectionNames());
    Require(again.Serialize() == file.Serialize());
    RequireSameAnswers(again, lookups);
}

// Writes a value taken from the input into a key that exists (when there is one) and into one
// that does not; the value must read back exactly, or the write must be refused untouched.
void CheckWrite(IniFile file, std::string_view bytes) {
    const std::vector<std::string> sections = file.SectionNames();
    const std::string section = sections.empty() ? "Fuzz" : sections.front();
    const std::vector<std::string> keys = file.KeyNames(section);
    const std::string value(bytes.substr(0, kMaxWrittenValue));
    for (const std::string& key :
         {keys.empty() ? std::string("k") : keys.front(), std::string("velmaro fuzz key")}) {
        const std::string before = file.Serialize();
        const IniStatus status = file.SetString(section, key, value);
        if (status != IniStatus::kOk) {
            Require(status == IniStatus::kInvalidArgument && file.Serialize() == before);
            continue;
        }
        const std::string expected = velmaro::TruncateProfileValue(value);
        Require(file.GetString(section, key, "\x01missing") == expected);
        Require(Reparsed(file).GetString(section, key, "\x01missing") == expected);
        CheckRoundTrip(file);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const std::string& input : {std::string(bytes), "\xFF\xFE" + std::string(bytes)}) {
        IniFile file;
        file.Parse(input);
        file.GetString("Config", "UIMode", "");
        file.GetString("Language String", "Are you sure to Format it?", "");
        CheckRoundTrip(file);
        CheckWrite(file, bytes);
    }
    return 0;
}
