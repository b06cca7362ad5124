// The player's window until the full main window arrives: the video surface with a playback
// channel on the recording named on the command line, driven from the keyboard.
#pragma once

#include <QLabel>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "stream/telemetry.h"
#include "ui/qt_message_sink.h"

namespace velmaro {

class CTavrelApp;
class CTSChn;
class VideoWidget;

class PlayerWindow : public QWidget {
    Q_OBJECT

  public:
    explicit PlayerWindow(CTavrelApp& app, QWidget* parent = nullptr);
    ~PlayerWindow() override;

    bool OpenRecording(const QString& path);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void OnMainWindowMessage(uint32_t msg);
    void ShowStatus();
    void RequestSnapshot();
    // Takes the outcomes the video worker has reported; polls while snapshots are waiting.
    void TakeSnapshotResults();

    CTavrelApp& app_;
    VideoWidget* video_;
    QLabel* status_;
    QtMessageSink panelSink_;
    QtMessageSink mainSink_;
    std::unique_ptr<CTSChn> channel_;
    GpsRecord fix_;
    bool haveFix_ = false;
    int speed_ = 4;
    QString keyHelp_;
    QString snapshotNote_;  // the last snapshot's outcome, shown for a while
    QTimer snapshotPoll_;
    QTimer noteExpiry_;
};

}  // namespace velmaro
