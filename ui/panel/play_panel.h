// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// PlayPanel: the play control panel down the left of the main window. It turns its buttons,
// sliders and menu into commands on the application's playback session:
// open a card or a file, play either way, pause, step, previous or next file, speed, seek,
// volume, mute, snapshot, marks, saving the playing file and exporting the marked clip (on a
// worker, with a progress bar). It carries the dashboard and counts the pictures shown each
// second.
#pragma once

#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "controls/skin_dialog.h"
#include "media/sound_output.h"
#include "playback/ab_loop.h"
#include "playback/playback_listener.h"
#include "stream/snapshot_result.h"

class QLabel;
class QMessageBox;
class QProgressBar;
class QTimer;

namespace velmaro {

struct AppShared;
class MainWindow;
class ExportJobs;
struct ExportRequest;
class PlaybackChannel;
class SkinButton;
class SkinSliderButton;
class Dashboard;
struct ExportOutcome;

class PlayPanel : public SkinDialog, public PlaybackListener {
    Q_OBJECT

  public:
    enum ControlId : int {
        kIdSnapshot = 220,
        kIdCardSetup = 221,
        kIdPrevFrame = 216,
        kIdNextFrame = 217,
        kIdPlay = 225,
        kIdStop = 226,
        kIdNextFile = 229,
        kIdPause = 230,
        kIdOpen = 231,
        kIdMap = 232,
        kIdPrevFile = 233,
        kIdConfig = 234,
        kIdBackward = 235,
        kIdSave = 236,
        kIdMarkIn = 237,
        kIdMarkOut = 238,
        kIdBackup = 239,
        kIdMute = 1013,
        kIdSeek = 1014,
        kIdVolume = 1015,
        kIdSpeed = 1016,
        kIdFps = 1017,
    };
    enum SliderKind : int { kSeekKind = 1, kVolumeKind = 2, kSpeedKind = 3 };
    static constexpr int kOpenSdCardCommand = 5001;
    static constexpr int kOpenFileCommand = 5002;
    static constexpr int kFramesTimerMs = 1000;
    // The seek bar follows the play position at most this often. On a software OpenGL renderer
    // each change of the panel composes the whole main window (it holds the map's web view), so
    // a thumb moved with every picture cost more CPU than decoding.
    static constexpr int kPositionRefreshMs = 100;

    // Asks the user for a file name: (suggested name) -> chosen path, empty when cancelled.
    using NameChooser = std::function<QString(const QString& suggested)>;

    PlayPanel(MainWindow& mainWindow, AppShared& app, int uiMode);
    ~PlayPanel() override;

    // Opens `path` as the recording to play, replacing the one playing.
    bool OpenRecording(const QString& path);
    // Opens the first recording of the camera card found; says so when none is found and
    // `showMessage` is set.
    void OpenSdCard(bool showMessage);
    void ChooseRecordingFile();
    void ApplyTooltips();
    void ApplySpeedUnit();
    // The playing channel takes the amplification of the settings (silence while muted).
    void ApplySoundAmplification();
    // The session's events this panel shows: the seek bar, the dashboard.
    void OnPosition(int32_t perMille) override;
    void OnTelemetry(const GpsRecord& fix, const GSensorRecord& g, bool hasFix) override;

    // The buttons' actions.
    void Play();
    void PlayBackward();
    void Pause();
    void TogglePause();
    void StepFrame(bool backward);
    void Stop();
    void PreviousFile();
    void NextFile();
    void Snapshot();
    void ToggleMap();
    void SavePlayingFile();
    void MarkIn();
    void MarkOut();
    // L: the marked stretch plays again and again, or no longer. Said in the strip when no
    // whole stretch is marked.
    void ToggleLoop();
    const AbLoop& Loop() const { return loop_; }
    void ExportClip();
    void ToggleMute();
    void ShowOpenMenu();
    // Saves the telemetry of the playing recording, of the marked stretch or of the day chosen
    // in the navigator as GPX, KML or CSV (by the chosen name's suffix), on a worker.
    enum class TrackOf { kRecording, kStretch, kDay };
    void ExportTrack(TrackOf what);
    bool TrackRunning() const;
    // The sliders' releases: seek to 0..1000, volume 0..27 (loudest to silent), speed 0..8.
    void SeekTo(int position);
    void SetVolumePosition(int position);
    void SetSpeedPosition(int position);
    // Keyboard and wheel habits: seek by `perMille` from the slider's position; speed one step.
    void SeekBy(int perMille);
    void StepSpeed(int step);

    SkinButton* Button(int id) const;
    SkinSliderButton* Slider(int id) const;
    Dashboard* GetDashboard() const { return dashboard_; }
    QLabel* FramesLabel() const { return framesLabel_; }
    QProgressBar* ExportProgress() const { return exportProgress_; }
    bool BackupRunning() const;
    bool SaveRunning() const;
    bool Muted() const { return muted_; }
    // Whether the volume slider drives the system's master volume ("VolumeControlsSystem" and
    // a usable mixer at start) rather than the player's own.
    bool VolumeDrivesMixer() const { return drivesMixer_; }
    int UiMode() const { return uiMode_; }
    // The text of the last message shown to the user (also while its box is open).
    QString LastMessage() const { return lastMessage_; }
    // The snapshot path the last Snapshot asked for, and what became of every snapshot.
    std::string LastSnapshotPath() const { return lastSnapshotPath_; }
    const std::vector<SnapshotResult>& SnapshotResults() const { return snapshotResults_; }

    // Replaceable for tests: the save and open dialogs.
    NameChooser chooseSaveName;
    NameChooser chooseExportName;
    // Whether the clip chooseExportName last named leaves the sound out; its dialog says.
    bool exportWithoutSound = false;
    // Asked when the Backup button is used while a clip is being written: stop that one?
    std::function<bool()> confirmStopExport;
    // Whether the clip's sidecar NAME.srt, which exists, may be replaced; no export when not.
    std::function<bool(const QString& sidecar)> confirmReplaceSidecar;
    NameChooser chooseOpenName;
    NameChooser chooseTrackName;
    // Replaceable for tests: the preferences and card setup dialogs (run modally).
    std::function<void()> runPreferences;
    std::function<void()> runCardSetup;
    // What playback had to leave out (late or oversized pictures), for the window to show;
    // empty when nothing was. Called once a second when it changes.
    std::function<void(const QString&)> showPlaybackNote;
    // Where a failure that needs no answer is said without blocking (a file that cannot be
    // opened, no card); a message box when unset.
    std::function<void(const QString&)> showNotice;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    void CreateButtons();
    void CreateSliders();
    void LayOutButtons();
    void OnSliderNotify(quint32 code, int identifier, int position);
    PlaybackChannel* Channel() const;  // the session's, none while stopped
    void OnFramesTimer();
    QString PlaybackNote() const;
    bool ShowPosition();  // false when the seek bar already shows it
    void TakeSnapshotResults();
    ExportJobs& Exports() const;  // the session's
    void OnExportProgress(int64_t done, int64_t toDo) override;
    void OnExportEnd(const ExportOutcome& outcome) override;
    void OnCopyEnd(const std::string& target, const FileCopyResult& result) override;
    void OnTrackEnd(const TrackOutcome& outcome) override;
    void SetBackupBitmap(bool running);
    void ShowNotice(const QString& text);
    bool SidecarAgreed(ExportRequest& request);
    void ShowMessage(const QString& text, bool failure);
    void PaintVolumeBar(QPainter& painter) const;
    double Scale() const;
    int VolumePosition() const;
    SoundVolume PlayerVolume() const;

    MainWindow& main_;
    AppShared& app_;
    const int uiMode_;
    bool muted_ = false;
    bool drivesMixer_ = false;            // decided once, when the slider is made
    std::map<int, SkinButton*> buttons_;  // children, by control id
    SkinSliderButton* seekSlider_ = nullptr;
    SkinSliderButton* volumeSlider_ = nullptr;
    SkinSliderButton* speedSlider_ = nullptr;
    Dashboard* dashboard_ = nullptr;
    QLabel* framesLabel_ = nullptr;
    QString playbackNote_;  // as last handed to showPlaybackNote
    QProgressBar* exportProgress_ = nullptr;
    QTimer* framesTimer_ = nullptr;
    QTimer* loopTimer_ = nullptr;  // runs while the loop is on
    AbLoop loop_;
    const PlaybackChannel* loopChannel_ = nullptr;  // the channel whose marks are looped
    QTimer* positionTimer_ = nullptr;  // single shot: shows positionToShow_ on the seek bar
    int positionToShow_ = 0;
    QTimer* snapshotPoll_ = nullptr;  // runs while snapshots are being written
    std::vector<SnapshotResult> snapshotResults_;
    QPointer<QMessageBox> messageBox_;
    QString lastMessage_;
    std::string lastSnapshotPath_;
};

}  // namespace velmaro
