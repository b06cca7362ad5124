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
    status_->setText(
        tr("O open  Space play/pause  \u2192 step  \u2190 step back  B backward  "
           "\u2191\u2193 speed  N/P next/previous file  S snapshot"));
    resize(kDefaultWidth, kDefaultHeight);
}

PlayerWindow::~PlayerWindow() {
    channel_.reset();
}

bool PlayerWindow::OpenRecording(const QString& path) {
    channel_.reset();
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
    if (!haveFix_) {
        return;
    }
    status_->setText(
        QStringLiteral("%1  %2, %3   %4 km/h   %5\u00b0   G %6 %7 %8")
            .arg(QString::fromStdString(channel_ ? channel_->reader.CurrentPath() : std::string())
                     .section('/', -1))
            .arg(fix_.latitude, 0, 'f', 6)
            .arg(fix_.longitude, 0, 'f', 6)
            .arg(fix_.speed, 0, 'f', 1)
            .arg(fix_.course, 0, 'f', 0)
            .arg(app_.gSensor.x)
            .arg(app_.gSensor.y)
            .arg(app_.gSensor.z));
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
            c.RequestSnapshot(SnapshotFilePath(Settings().snapshotPath, std::time(nullptr)));
            break;
        default:
            QWidget::keyPressEvent(event);
    }
}

}  // namespace velmaro
