#include "ui/main/player_app.h"

#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/app_settings.h"
#include "app/language_table.h"
#include "map/gps_offset.h"
#include "platform/log.h"
#include "ui/main/exit_signals.h"

namespace velmaro {
namespace {

const char kHelp[] =
    "usage: velmaro [RECORDING.ts]\n"
    "Plays dash-camera recordings: opens the given recording, else looks for a camera card.\n"
    "  --help     show this text\n"
    "  --version  show the version\n";

ScreenSize PrimaryScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return {};
    }
    return {screen->size().width(), screen->size().height()};
}

}  // namespace

bool AnswerInformationalOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("velmaro %s\n", VersionText().c_str());
            return true;
        }
    }
    return false;
}

PlayerApp::PlayerApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Velmaro"));
    setOrganizationName(QStringLiteral("CTavrel"));
}

void PlayerApp::StartUp() {
    versionText = VersionText();
    AppSettings& settings = Settings();
    // The system's language as Qt sees it (it follows the desktop session, not only LANG).
    ChooseLanguage(settings, Languages(), DataPath("Language"),
                   QLocale::system().name().toStdString());
    LoadSettings(settings, PrimaryScreen());
    if (GpsOffsetAutoEnabled(settings)) {
        LoadGpsOffsetTable(DataPath("offset_min.bin").string());
    }
    std::vector<std::string> arguments;
    for (const QString& a : QApplication::arguments().mid(1)) {
        arguments.push_back(a.toStdString());
    }
    commandLineFile = CommandLineFile(arguments);
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
