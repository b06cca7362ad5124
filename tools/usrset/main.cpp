// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// velmaro-usrset: shows or writes the camera's settings file of a card folder (see --help).
#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "camera/camera_settings.h"
#include "tools/common/command_line.h"

namespace {

using velmaro::CameraFileStatus;
using velmaro::CameraSettings;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadOptions = 2;
constexpr int kNameWidth = 22;

constexpr const char* kDescription =
    "Shows or writes the camera's settings file FOLDER/usrset.dat (FOLDER is the card's root).";

constexpr const char* kFooter = R"(
Showing accepts what the player accepts: 16 bytes with a matching CRC-32 and the camera's state
marker 0xFC. A file the player wrote (marker 0xFD) has not been taken over by the camera yet and
is refused unless --any-marker is given (the checksum must still match).

Writing starts from the settings in the folder when the player would accept them, otherwise from
the defaults with the current local time, applies every --set in order and writes the file with
marker 0xFD, as the card setup dialog does.

Exit status: 0 on success, 1 when the file is missing, unreadable or refused, or cannot be
written, 2 on bad options or values.)";

struct Options {
    bool write = false;
    bool defaults = false;
    bool now = false;
    bool anyMarker = false;
    bool list = false;
    std::vector<std::string> sets;
    std::vector<std::string> folders;
};

void AddOptions(velmaro::CommandLine& commandLine, Options& o) {
    commandLine.SetUsage(
        "velmaro-usrset [--any-marker] FOLDER\n"
        "       velmaro-usrset --write [--defaults] [--now] [--set KEY=VALUE]... FOLDER\n"
        "       velmaro-usrset --list");
    commandLine.SetFooter(kFooter);
    CLI::App& app = commandLine.Parser();
    app.add_flag("--any-marker", o.anyMarker,
                 "show a file the player wrote too (the checksum must still match)");
    CLI::Option* write = app.add_flag("--write", o.write, "write the settings file");
    app.add_option("--set", o.sets,
                   "KEY is a setting's name (see --list). An option takes one of its texts (any "
                   "case) or #INDEX for a raw index; year, month, day, hour and minute take "
                   "numbers")
        ->allow_extra_args(false)
        ->needs(write)
        ->type_name("KEY=VALUE");
    app.add_flag("--defaults", o.defaults,
                 "start from the defaults even when the folder holds settings")
        ->needs(write);
    app.add_flag("--now", o.now, "set the camera clock to the current local time")->needs(write);
    app.add_flag("--list", o.list, "show every setting, its values and its default");
    app.add_option("FOLDER", o.folders, "the card's root");
}

// A value the options named but the settings cannot take.
void BadValue(const std::string& message) {
    std::fprintf(stderr, "velmaro-usrset: %s\n", message.c_str());
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

bool ParseUnsigned(std::string_view text, unsigned& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// An option's text in any case, or "#N" for a raw index inside its list.
bool ParseOptionValue(const velmaro::CameraOption& option, std::string_view text, unsigned& index) {
    if (text.starts_with('#')) {
        return ParseUnsigned(text.substr(1), index) && index < option.texts.size();
    }
    for (unsigned i = 0; i < option.texts.size(); ++i) {
        if (EqualsIgnoringCase(option.texts[i], text)) {
            index = i;
            return true;
        }
    }
    return false;
}

std::string ValueChoices(const velmaro::CameraOption& option) {
    std::string choices;
    for (const std::string_view text : option.texts) {
        choices += (choices.empty() ? "\"" : ", \"") + std::string(text) + "\"";
    }
    return choices;
}

// Applies one KEY=VALUE; false after saying why.
bool ApplySetting(CameraSettings& settings, std::string_view assignment) {
    const size_t equals = assignment.find('=');
    const std::string_view key = assignment.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : assignment.substr(equals + 1);
    if (const velmaro::CameraOption* option = velmaro::FindCameraOption(key)) {
        if (equals == std::string_view::npos ||
            !ParseOptionValue(*option, value, settings.*option->field)) {
            BadValue(std::string(key) + " takes one of " + ValueChoices(*option) + " or #0..#" +
                     std::to_string(option->texts.size() - 1));
            return false;
        }
        return true;
    }
    if (const velmaro::CameraClockField* field = velmaro::FindCameraClockField(key)) {
        unsigned number = 0;
        if (!ParseUnsigned(value, number) || number < field->minimum || number > field->maximum) {
            BadValue(std::string(key) + " takes a number from " + std::to_string(field->minimum) +
                     " to " + std::to_string(field->maximum));
            return false;
        }
        settings.*field->field = number;
        return true;
    }
    BadValue("no setting named \"" + std::string(key) + "\" (see --list)");
    return false;
}

void PrintSettings(const CameraSettings& settings) {
    for (const velmaro::CameraOption& option : velmaro::CameraOptions()) {
        const unsigned index = settings.*option.field;
        const auto text = velmaro::CameraOptionText(option, index);
        std::printf("%-*s %s (#%u)\n", kNameWidth, std::string(option.name).c_str(),
                    text ? std::string(*text).c_str() : "(outside its list)", index);
    }
    for (const velmaro::CameraClockField& field : velmaro::CameraClockFields()) {
        std::printf("%-*s %u\n", kNameWidth, std::string(field.name).c_str(),
                    settings.*field.field);
    }
}

void PrintList() {
    for (const velmaro::CameraOption& option : velmaro::CameraOptions()) {
        std::printf("%s (default #%u):\n", std::string(option.name).c_str(), option.defaultIndex);
        for (unsigned i = 0; i < option.texts.size(); ++i) {
            std::printf("  #%-3u %s\n", i, std::string(option.texts[i]).c_str());
        }
    }
    for (const velmaro::CameraClockField& field : velmaro::CameraClockFields()) {
        std::printf("%s: %u to %u (default: now)\n", std::string(field.name).c_str(), field.minimum,
                    field.maximum);
    }
}

int Refused(const std::filesystem::path& path, CameraFileStatus status) {
    std::fprintf(stderr, "velmaro-usrset: %s: %s\n", path.c_str(),
                 velmaro::CameraFileStatusText(status).c_str());
    return kExitFailed;
}

// A file the player wrote itself: shown only on request, and only with a matching checksum.
int ShowAnyMarker(const std::string& folder) {
    const std::filesystem::path path = velmaro::CameraSettingsPath(folder);
    std::ifstream in(path, std::ios::binary);
    velmaro::CameraSettingsBytes bytes{};
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!in) {
        return Refused(path,
                       in.eof() ? CameraFileStatus::kTooShort : CameraFileStatus::kUnreadable);
    }
    if (velmaro::StoredCameraSettingsChecksum(bytes) != velmaro::CameraSettingsChecksum(bytes)) {
        return Refused(path, CameraFileStatus::kBadChecksum);
    }
    std::printf("%s: marker 0x%02X\n", path.c_str(), bytes.back());
    PrintSettings(velmaro::UnpackCameraSettings(bytes));
    return kExitOk;
}

int Show(const Options& o) {
    const std::string& folder = o.folders.front();
    const velmaro::CameraSettingsRead read = velmaro::ReadCameraSettings(folder);
    if (read.status == CameraFileStatus::kOk) {
        std::printf("%s: marker 0x%02X\n", velmaro::CameraSettingsPath(folder).c_str(),
                    velmaro::kCameraMarkerAccepted);
        PrintSettings(*read.settings);
        return kExitOk;
    }
    const bool otherMarker = read.status == CameraFileStatus::kWrittenByPlayer ||
                             read.status == CameraFileStatus::kWrongMarker;
    if (o.anyMarker && otherMarker) {
        return ShowAnyMarker(folder);
    }
    std::fprintf(stderr, "velmaro-usrset: %s: %s\n", velmaro::CameraSettingsPath(folder).c_str(),
                 velmaro::CameraFileStatusText(read.status, read.systemError).c_str());
    return kExitFailed;
}

int Write(const Options& o) {
    const std::string& folder = o.folders.front();
    const auto now = std::chrono::system_clock::now();
    CameraSettings settings = velmaro::DefaultCameraSettings(now);
    if (!o.defaults) {
        const velmaro::CameraSettingsRead read = velmaro::ReadCameraSettings(folder);
        settings = read.settings.value_or(settings);
    }
    if (o.now) {
        const CameraSettings current = velmaro::DefaultCameraSettings(now);
        for (const velmaro::CameraClockField& field : velmaro::CameraClockFields()) {
            settings.*field.field = current.*field.field;
        }
    }
    for (const std::string& assignment : o.sets) {
        if (!ApplySetting(settings, assignment)) {
            return kExitBadOptions;
        }
    }
    std::string problem;
    if (!velmaro::CameraSettingsInRange(settings, &problem)) {
        BadValue("refusing to write: " + problem + " is out of range");
        return kExitBadOptions;
    }
    const velmaro::CameraSettingsWrite written = velmaro::WriteCameraSettings(folder, settings);
    if (!written.ok()) {
        std::fprintf(stderr, "velmaro-usrset: %s: %s\n",
                     velmaro::CameraSettingsPath(folder).c_str(),
                     velmaro::CameraFileStatusText(written.status, written.systemError).c_str());
        return kExitFailed;
    }
    std::printf("%s: written (marker 0x%02X)\n", velmaro::CameraSettingsPath(folder).c_str(),
                velmaro::kCameraMarkerWritten);
    PrintSettings(settings);
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    velmaro::CommandLine commandLine("velmaro-usrset", kDescription);
    AddOptions(commandLine, o);
    if (const std::optional<int> status = commandLine.Parse(argc, argv)) {
        return *status;
    }
    if (!o.list && o.folders.size() != 1) {
        return commandLine.Fail("needs exactly one folder");
    }
    if (o.list) {
        PrintList();
        return kExitOk;
    }
    return o.write ? Write(o) : Show(o);
}
