// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// velmaro-play: plays a recording (a .ts file or a card folder) with the real engine, with
// sound, off-screen or in a plain window (--window), reading commands from standard input and
// printing one status line per second. Without a recording it plays a generated sample card.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "media/offscreen_output.h"
#include "stream/recording_index.h"
#include "stream/telemetry.h"
#include "tools/common/command_line.h"
#include "tools/make_recording/recording_writer.h"
#include "tools/play/play_session.h"
#include "tools/probe/probe_paths.h"

#ifdef VELMARO_PLAY_WINDOW
#include <QApplication>
#include <QTimer>

#include "ui/video/video_widget.h"
#endif

namespace {

using namespace velmaro;

constexpr int kStatusIntervalMs = 1000;
constexpr int kPollIntervalMs = 20;
constexpr int kMostDecoderThreads = 16;

constexpr const char* kDescription = "Plays a recording with picture and sound.";

constexpr const char* kFooter = R"(
--window draws with OpenGL on a GPU and in software on a software OpenGL renderer;
VELMARO_VIDEO_PATH=gl|software in the environment forces one.
Commands on standard input:
  play, back, pause, step, prev-frame, speed 0-8, seek 0-1000, next, prev, snap,
  mark-in, mark-out, export PATH.ts|PATH.avi|PATH.mp4, quit
An export writes PATH.srt with the clip's telemetry beside it, unless a file of that name is
there already. At the end of input it plays on to the end of the recording and exits.
velmaro-play is a tool: it neither reads nor writes the player's Config.ini; its options are
its settings.)";

// The end of the session or of the terminal (SIGTERM, SIGHUP, SIGINT) quits as "quit" does, so
// the workers stop and an export finishes or removes its temporary file. A second signal while
// it winds down takes the default action.
volatile sig_atomic_t gQuitSignal = 0;

void OnQuitSignal(int signal) {
    gQuitSignal = signal;
}

void QuitOnSignals() {
    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

bool QuitAsked() {
    return gQuitSignal != 0;
}

// Lines typed by the user, handed from the stdin thread to the session's thread.
class CommandQueue {
  public:
    void StartReading() {
        std::thread([this] {
            std::string line;
            while (std::getline(std::cin, line)) {
                std::lock_guard lock(mutex_);
                lines_.push_back(line);
            }
            closed_ = true;
        }).detach();  // blocked in a read of stdin; the process exit ends it
    }
    std::vector<std::string> Take() {
        std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        out.swap(lines_);
        return out;
    }
    bool Closed() const { return closed_.load(); }

  private:
    std::mutex mutex_;
    std::vector<std::string> lines_;  // guarded by mutex_
    std::atomic<bool> closed_{false};
};

struct Options {
    bool window = false;
    EngineOptions engine;
    std::string snapshots = "/tmp/velmaro-snapshots";
    std::string path;
};

void AddOptions(velmaro::CommandLine& commandLine, Options& o, int64_t& threads) {
    commandLine.SetUsage(
        "velmaro-play [--window] [--rgb] [--threads N] [--snapshots DIR] [--other-gps] "
        "[RECORDING.ts | CARD-FOLDER]");
    commandLine.SetFooter(kFooter);
    CLI::App& app = commandLine.Parser();
    app.add_flag("--window", o.window, "show the pictures in a plain window");
    app.add_flag_callback(
        "--rgb", [&o] { o.engine.displayMode = kDisplayRgb; },
        "convert pictures to RGB on the CPU instead of showing YUV planes");
    app.add_option("--threads", threads,
                   "decode video on N frame threads, 1 to 16 (default: chosen while playing)")
        ->transform(Decimal())
        ->type_name("N");
    app.add_option("--snapshots", o.snapshots,
                   "folder for the pictures of \"snap\" (default /tmp/velmaro-snapshots)")
        ->type_name("DIR");
    app.add_flag("--other-gps", o.engine.telemetry.otherReceivers,
                 "also take other receivers' checksummed $GNRMC/$GPRMC sentences");
    app.add_option("RECORDING", o.path,
                   "a .ts file or a card folder (default: a generated sample card)")
        ->check(NonEmpty());
}

std::string SampleCard() {
    char name[] = "/tmp/velmaro-sample-XXXXXX";
    const char* root = mkdtemp(name);
    RecordingOptions o;
    o.outRoot = root ? root : "/tmp";
    o.files = 3;
    o.secondsPerFile = 10;
    std::printf("generating a sample card in %s ...\n", o.outRoot.c_str());
    std::fflush(stdout);
    const RecordingResult r = WriteRecording(o);
    if (!r.ok) {
        std::fprintf(stderr, "velmaro-play: %s\n", r.error.c_str());
        std::exit(1);
    }
    return o.outRoot;
}

// Runs the session until "quit", or until input has ended and the recording has played out.
int RunLoop(PlaySession& session, CommandQueue& commands, const std::function<void()>& idle) {
    auto lastStatus = std::chrono::steady_clock::now();
    for (;;) {
        for (const std::string& line : commands.Take()) {
            if (!session.Command(line)) {
                return 0;
            }
        }
        if (QuitAsked()) {
            return 0;
        }
        session.Poll();
        if (std::chrono::steady_clock::now() - lastStatus >=
            std::chrono::milliseconds(kStatusIntervalMs)) {
            lastStatus = std::chrono::steady_clock::now();
            std::printf("%s\n", session.StatusLine().c_str());
            std::fflush(stdout);
            if (commands.Closed() && session.AtEnd()) {
                return 0;
            }
        }
        idle();
    }
}

}  // namespace

int main(int argc, char** argv) {
    av_log_set_level(AV_LOG_FATAL);  // damaged pictures are concealed; no need to print each
    Options options;
    CommandLine commandLine("velmaro-play", kDescription);
    int64_t threads = 0;
    AddOptions(commandLine, options, threads);
    if (const std::optional<int> status = commandLine.Parse(argc, argv)) {
        return *status;
    }
    // Its exports and their sidecars read the telemetry as the status line does.
    SetRunTelemetryOptions(options.engine.telemetry);
    if (commandLine.Parser().count("--threads") > 0) {
        options.engine.decoderThreads = static_cast<int32_t>(
            std::clamp<int64_t>(threads, 1, kMostDecoderThreads));  // as many as are useful
    }
    if (options.path.empty()) {
        options.path = SampleCard();
    }
    const ProbeFileList found = CollectProbeFiles({options.path});
    if (found.files.empty()) {
        for (const std::string& e : found.errors) {
            std::fprintf(stderr, "velmaro-play: %s\n", e.c_str());
        }
        return 1;
    }
    // A card plays from its first recording, with the list of its folder.
    RecordingIndex finder;
    finder.ScanNow(found.files.front());
    const std::vector<RecordingEntry> list = finder.Entries();
    std::printf("playing %s (%zu recordings in its folder)\n", found.files.front().c_str(),
                list.size());

    QuitOnSignals();
    CommandQueue commands;
    commands.StartReading();
#ifdef VELMARO_PLAY_WINDOW
    if (options.window) {
        QApplication app(argc, argv);
        VideoWidget widget;
        const QString renderer = OpenGlRenderer();
        std::printf("pictures drawn %s (OpenGL renderer: %s)\n",
                    widget.Path() == VideoPath::kOpenGl ? "with OpenGL" : "in software",
                    renderer.isEmpty() ? "none" : renderer.toUtf8().constData());
        widget.setWindowTitle(QStringLiteral("Velmaro"));
        widget.resize(960, 540);
        widget.show();
        PlaySession session(&widget, options.snapshots, options.engine);
        if (!session.Open(found.files.front(), list)) {
            std::fprintf(stderr, "velmaro-play: cannot start playback\n");
            return 1;
        }
        QTimer timer;
        int result = 0;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            static auto lastStatus = std::chrono::steady_clock::now();
            for (const std::string& line : commands.Take()) {
                if (!session.Command(line)) {
                    app.quit();
                    return;
                }
            }
            if (QuitAsked()) {
                app.quit();
                return;
            }
            session.Poll();
            if (std::chrono::steady_clock::now() - lastStatus >= std::chrono::seconds(1)) {
                lastStatus = std::chrono::steady_clock::now();
                std::printf("%s\n", session.StatusLine().c_str());
                std::fflush(stdout);
                if (commands.Closed() && session.AtEnd()) {
                    app.quit();
                }
            }
        });
        timer.start(kPollIntervalMs);
        result = app.exec();
        return result;
    }
#else
    if (options.window) {
        std::fprintf(stderr, "velmaro-play: built without the Qt window\n");
        return kExitUsage;
    }
#endif
    OffscreenOutput output;
    PlaySession session(&output, options.snapshots, options.engine);
    if (!session.Open(found.files.front(), list)) {
        std::fprintf(stderr, "velmaro-play: cannot start playback\n");
        return 1;
    }
    return RunLoop(session, commands,
                   [] { std::this_thread::sleep_for(std::chrono::milliseconds(kPollIntervalMs)); });
}
