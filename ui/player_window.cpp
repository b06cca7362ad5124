#include "ui/player_window.h"

#include <QFileDialog>
#include <QKeyEvent>
#include <algorithm>
#include <ctime>

#include "app/app_settings.h"
#include "media/snapshot_writer.h"
#include "stream/ts_channel.h"
#include "ui/tavrel_app.h"
#include "ui/video_widget.h"

namespace velmaro {
namespace {

constexpr int kStatusHeight = 24;
constexpr int kDefaultWidth = 960;
constexpr int kDefaultHeight = 600;
constexpr int kSnapshotPollMs = 50;
constexpr int kSnapshotNoteMs = 5000;

}  // namespace

PlayerWindow::PlayerWindow(CTavrelApp& app, QWidget* parent)
    : QWidget(parent),
      app_(app),
      video_(new VideoWidget(this)),
      status_(new QLabel(this)),
      panelSink_(this, [](uint32_t, intptr_t, intptr_t) {}),
      mainSink_(this, [this](uint32_t msg, intptr_t, intptr_t) { OnMainWindowMessage(msg); }) {
    setWindowTitle(QStringLiteral("Velmaro %1").arg(QString::fromStdString(app.versionText)));
    status_->setStyleSheet(QStringLiteral("background:#15181c;color:#e8e8e8;padding:2px 8px;"));
    keyHelp_ =
        tr("O open  Space play/pause  \u2192 step  \u2190 step back  B backward  "
           "\u2191\u2193 speed  N/P next/previous file  S snapshot");
    status_->setText(keyHelp_);
    snapshotPoll_.setInterval(kSnapshotPollMs);
    connect(&snapshotPoll_, &QTimer::timeout, this, &PlayerWindow::TakeSnapshotResults);
    noteExpiry_.setSingleShot(true);
    noteExpiry_.setInterval(kSnapshotNoteMs);
    connect(&noteExpiry_, &QTimer::timeout, this, [this] {
        snapshotNote_.clear();
        ShowStatus();
    });
    resize(kDefaultWidth, kDefaultHeight);
}

PlayerWindow::~PlayerWindow() {
    channel_.reset();
}

bool PlayerWindow::OpenRecording(const QString& path) {
    if (channel_) {
        TakeSnapshotResults();  // the last word on snapshots written from the old recording
    }
    channel_.reset();
    snapshotPoll_.stop();
    const AppSettings& s = Settings();
    ChannelLinks links{&panelSink_, &mainSink_,    &app_.gpsSentence,
                       video_,      s.displayMode, static_cast<double>(s.m_dSoundAmplification)};
    channel_ = std::make_unique<CTSChn>(links);
    channel_->filePath = path.toStdString();
    app_.gpsSentence.ClearReady();
    return channel_->Open();
}

void PlayerWindow::resizeEvent(QResizeEvent*) {
    video_->setGeometry(0, 0, width(), height() - kStatusHeight);
    status_->setGeometry(0, height() - kStatusHeight, width(), kStatusHeight);
}

void PlayerWindow::OnMainWindowMessage(uint32_t msg) {
    std::string text;
    if (msg == kMsgTelemetry && app_.gpsSentence.Take(text)) {
        GpsRecord fix;
        if (ParseTelemetry(text, app_.gSensor, fix)) {
            fix_ = fix;
            haveFix_ = true;
        }
        ShowStatus();
    }
}

void PlayerWindow::ShowStatus() {
    QString text;
    if (haveFix_) {
        text = QStringLiteral("%1  %2, %3   %4 km/h   %5\u00b0   G %6 %7 %8")
                   .arg(QString::fromStdString(channel_ ? channel_->reader.CurrentPath()
                                                        : std::string())
                            .section('/', -1))
                   .arg(fix_.latitude, 0, 'f', 6)
                   .arg(fix_.longitude, 0, 'f', 6)
                   .arg(fix_.speed, 0, 'f', 1)
                   .arg(fix_.course, 0, 'f', 0)
                   .arg(app_.gSensor.x)
                   .arg(app_.gSensor.y)
                   .arg(app_.gSensor.z);
    }
    if (!snapshotNote_.isEmpty()) {
        text = text.isEmpty() ? snapshotNote_ : text + QStringLiteral("   ") + snapshotNote_;
    }
    status_->setText(text.isEmpty() ? keyHelp_ : text);
}

void PlayerWindow::RequestSnapshot() {
    channel_->RequestSnapshot(SnapshotFilePath(Settings().snapshotPath, std::time(nullptr)));
    // A refusal is there at once; a file comes from the video worker a little later.
    TakeSnapshotResults();
    if (channel_->state.snapshotRequested.load() > 0) {
        snapshotPoll_.start();
    }
}

void PlayerWindow::TakeSnapshotResults() {
    if (!channel_) {
        snapshotPoll_.stop();
        return;
    }
    const std::vector<SnapshotResult> results = channel_->state.TakeSnapshotResults();
    if (channel_->state.snapshotRequested.load() == 0) {
        snapshotPoll_.stop();
    }
    if (results.empty()) {
        return;
    }
    // A failure among several outcomes must not hide behind a later success.
    const auto failed = std::find_if(results.rbegin(), results.rend(),
                                     [](const SnapshotResult& r) { return !r.Written(); });
    const SnapshotResult& last = failed != results.rend() ? *failed : results.back();
    snapshotNote_ = last.Written()
                        ? tr("Snapshot saved: %1").arg(QString::fromStdString(last.path))
                        : tr("Snapshot not saved: %1").arg(QString::fromStdString(last.reason));
    noteExpiry_.start();
    ShowStatus();
}

void PlayerWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_O) {
        const QString path = QFileDialog::getOpenFileName(this, tr("Open"), QString(),
                                                          QStringLiteral("ts Files (*.ts *.TS)"));
        if (!path.isEmpty()) {
            OpenRecording(path);
        }
        return;
    }
    if (!channel_) {
        QWidget::keyPressEvent(event);
        return;
    }
    CTSChn& c = *channel_;
    switch (event->key()) {
        case Qt::Key_Space:
            c.state.paused.load() ? c.Play() : c.Pause();
            break;
        case Qt::Key_Right:
            c.Step(false);
            break;
        case Qt::Key_Left:
            c.Step(true);
            break;
        case Qt::Key_B:
            c.PlayBackward();
            break;
        case Qt::Key_Up:
        case Qt::Key_Down:
            speed_ =
                std::clamp(speed_ + (event->key() == Qt::Key_Up ? 1 : -1), 0, kSpeedPositions - 1);
            c.SetSpeed(speed_);
            break;
        case Qt::Key_N:
            c.NextRecording();
            break;
        case Qt::Key_P:
            c.PreviousRecording();
            break;
        case Qt::Key_S:
            RequestSnapshot();
            break;
        default:
            QWidget::keyPressEvent(event);
    }
}

}  // namespace velmaro
