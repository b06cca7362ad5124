// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/player_app.h"

#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string_view>
#include <vector>

#include "app/app_settings.h"
#include "app/language_table.h"
#include "map/gps_offset.h"
#include "platform/log.h"
#include "stream/telemetry.h"
#include "ui/main/app_look.h"
#include "ui/main/exit_signals.h"
#include "ui/main/free_screen.h"

namespace velmaro {
namespace {

// Laid out as the command-line tools lay theirs out, which is also what help2man reads.
const char kUsage[] = "Usage: velmaro [options] [RECORDING.ts]\n";
const char kHelp[] =
    "Plays dash-camera recordings: opens the given recording, else looks for a camera card.\n"
    "\n"
    "Options:\n"
    "  -h,--help     show this text and exit\n"
    "  --version     show the name and version and exit\n"
    "\n"
    "Qt's own options (-platform, -style, ...) are passed on to Qt.\n"
    "\n"
    "Exit status: 0 when the player was closed, 2 on an option it does not know.\n";
const char kHelpHint[] = "Run with --help for more information.\n";

// The exit status of a command line the player does not understand, as getopt tools use.
constexpr int kUsageStatus = 2;

// Options Qt and its browser engine take themselves (with one dash or two); the first ones
// take the next argument as their value unless written NAME=VALUE.
constexpr std::string_view kValueOptions[] = {"platform",      "platformpluginpath",
                                              "platformtheme", "plugin",
                                              "qmljsdebugger", "qwindowgeometry",
                                              "qwindowicon",   "qwindowtitle",
                                              "session",       "style",
                                              "stylesheet",    "display",
                                              "geometry",      "name",
                                              "title",         "visual",
                                              "ncols",         "cmap"};
constexpr std::string_view kFlagOptions[] = {
    "reverse",        "widgetcount", "nograb",
    "dograb",         "sync",        "no-sandbox",
    "single-process", "disable-gpu", "remote-debugging-port"};

std::string_view OptionName(std::string_view argument) {
    argument.remove_prefix(argument.find_first_not_of('-'));
    return argument.substr(0, argument.find('='));
}

bool TakesValue(std::string_view argument) {
    return argument.size() > 1 && argument[0] == '-' &&
           argument.find('=') == std::string_view::npos &&
           std::find(std::begin(kValueOptions), std::end(kValueOptions), OptionName(argument)) !=
               std::end(kValueOptions);
}

// A lone "-" or anything not starting with a dash is a recording's name.
bool IsUnknownOption(std::string_view argument) {
    if (argument.size() < 2 || argument[0] != '-' || argument == "--") {
        return false;
    }
    const std::string_view name = OptionName(argument);
    const auto known = [name](const auto& list) {
        return std::find(std::begin(list), std::end(list), name) != std::end(list);
    };
    return !known(kValueOptions) && !known(kFlagOptions);
}

}  // namespace

std::optional<int> AnswerCommandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--webEngineArgs") {
            break;  // the rest is the browser engine's
        }
        if (argument == "--help" || argument == "-h") {
            std::printf("%s%s", kUsage, kHelp);
            return 0;
        }
        if (argument == "--version") {
            std::printf("velmaro %s\n", VersionText().c_str());
            return 0;
        }
        if (IsUnknownOption(argument)) {
            std::fprintf(stderr, "velmaro: unknown option %s\n%s%s", argv[i], kUsage, kHelpHint);
            return kUsageStatus;
        }
        if (TakesValue(argument)) {
            ++i;
        }
    }
    return std::nullopt;
}

PlayerApp::PlayerApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Velmaro"));
    setOrganizationName(QStringLiteral("CTavrel"));
    // Wayland compositors and docks find the launcher and icon by this id.
    setDesktopFileName(QStringLiteral("org.velmaro.Velmaro"));
}

void PlayerApp::StartUp() {
    versionText = FileVersionText();
    AppSettings& settings = Settings();
    // The system's language as Qt sees it (it follows the desktop session, not only LANG).
    ChooseLanguage(settings, Languages(), DataPath("Language"),
                   QLocale::system().name().toStdString());
    LoadSettings(settings, FreeScreenArea());
    SetRunTelemetryOptions({.otherReceivers = settings.gpsOtherReceivers});
    if (GpsOffsetAutoEnabled(settings)) {
        LoadGpsOffsetTable(DataPath("offset_min.bin").string());
    }
    std::vector<std::string> arguments;
    for (const QString& a : QApplication::arguments().mid(1)) {
        arguments.push_back(a.toStdString());
    }
    commandLineFile = CommandLineFile(arguments);
    ApplyAppLook(*this);
}

void PlayerApp::SaveAtExit() {
    if (!SaveSettings(Settings())) {
        // Nothing is lost for this run; the next start simply begins from the defaults.
        LogWarning("settings could not be written to %s; they were kept for this run only",
                   ConfigFilePath().c_str());
    }
}

int PlayerApp::Run(const MainWindowFactory& makeMainWindow) {
    // Ended from outside, the run still ends through the steps below, as by the close button.
    const ExitSignals exitSignals([this] {
        if (g_pMainDlg != nullptr) {
            g_pMainDlg->close();
        }
        quit();
    });
    StartUp();
    std::unique_ptr<QWidget> mainWindow = makeMainWindow(*this);
    g_pMainDlg = mainWindow.get();
    int status = 0;
    if (mainWindow) {
        mainWindow->show();
        status = exec();
    }
    SaveAtExit();
    g_pMainDlg = nullptr;
    mainWindow.reset();
    return status;
}

}  // namespace velmaro
