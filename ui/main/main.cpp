// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// velmaro: the player. Start-up order and settings live in PlayerApp; the window it runs is
// the main window, which opens the recording named on the command line or a camera card once
// the event loop runs.
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "app/app_settings.h"
#include "ui/main/main_window.h"
#include "ui/main/player_app.h"
#include "ui/map/map_web_page.h"
#include "ui/video/video_widget.h"
#include "ui/video/video_window.h"

namespace {

constexpr int kPicturePollMs = 2;
constexpr int kPictureCountIntervalMs = 1000;

// VELMARO_QUIT_AFTER_PICTURES=N: the run ends once N pictures were presented, as mpv's
// --frames=N; for timing the start-up against other players.
void QuitAfterPictures(velmaro::MainWindow& window) {
    const char* value = std::getenv("VELMARO_QUIT_AFTER_PICTURES");
    const int pictures = value != nullptr ? std::atoi(value) : 0;
    if (pictures <= 0) {
        return;
    }
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, pictures] {
        if (window.Video()->VideoSurface()->PicturesPresented() >= pictures) {
            window.close();
            QCoreApplication::quit();
        }
    });
    poll->start(kPicturePollMs);
}

// VELMARO_PRINT_PICTURES=1: a line "frames N" with the pictures presented so far, once a second,
// as velmaro-play's status lines say it; for counting what the window keeps up with.
void PrintPictureCount(velmaro::MainWindow& window) {
    const char* value = std::getenv("VELMARO_PRINT_PICTURES");
    if (value == nullptr || std::atoi(value) <= 0) {
        return;
    }
    auto* tick = new QTimer(&window);
    QObject::connect(tick, &QTimer::timeout, &window, [&window] {
        std::printf("frames %d\n", window.Video()->VideoSurface()->PicturesPresented());
        std::fflush(stdout);
    });
    tick->start(kPictureCountIntervalMs);
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> status = velmaro::AnswerCommandLine(argc, argv)) {
        return *status;
    }
    velmaro::PrepareWebEngine();
    velmaro::PlayerApp app(argc, argv);
    return app.Run([](velmaro::PlayerApp& a) {
        auto window = std::make_unique<velmaro::MainWindow>(a, velmaro::Settings().uiMode);
        QTimer::singleShot(0, window.get(), [w = window.get()] { w->Start(); });
        QuitAfterPictures(*window);
        PrintPictureCount(*window);
        return window;
    });
}
