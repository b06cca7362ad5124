// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/panel/play_panel.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "app/app_settings.h"
#include "app/language_table.h"
#include "controls/skin.h"
#include "controls/skin_button.h"
#include "controls/skin_slider_button.h"
#include "export/clip_export.h"
#include "export/clip_subtitles.h"
#include "export/file_copy.h"
#include "export/track_export.h"
#include "platform/drives.h"
#include "platform/mixer.h"
#include "platform/regular_file.h"
#include "platform/unique_fd.h"
#include "playback/clip_request.h"
#include "playback/export_jobs.h"
#include "playback/playback_channel.h"
#include "playback/snapshot_request.h"
#include "stream/recording_index.h"
#include "stream/snapshot_result.h"
#include "ui/main/app_shared.h"
#include "ui/main/main_window.h"
#include "ui/map/map_port.h"
#include "ui/navigator/incident_navigator.h"
#include "ui/panel/backup_dialog.h"
#include "ui/panel/dashboard.h"
#include "ui/video/video_widget.h"
#include "ui/video/video_window.h"

namespace velmaro {
namespace {

constexpr int kSeekMax = 1000;
constexpr int kSpeedMax = 8;
constexpr int kLoopCheckMs = 50;  // how late past the mark-out the loop may go back
constexpr int kBackupBitmap = 452;
constexpr int kBackupRunningBitmap = 456;
constexpr int kMuteOffBitmap = 138;  // sound plays
constexpr int kMuteOnBitmap = 148;   // sound silenced
constexpr int kVolumeBarWidth = 202;
constexpr int kVolumeBarHeight = 46;
constexpr int kVolumeBarX = 54;
constexpr int kVolumeBarY = 554;
constexpr int kVolumeBarSteps = 28;

// The volume slider's positions as the player's own volume: 0 is the loudest and
// kVolumeSliderMax silent, as they were for the master volume.
int VolumePercentAt(int position) {
    const int loudness = kVolumeSliderMax - std::clamp(position, 0, kVolumeSliderMax);
    return static_cast<int>(
        std::lround(static_cast<double>(loudness) * kMaxVolumePercent / kVolumeSliderMax));
}

int SliderPositionForPercent(int percent) {
    const int loudness = static_cast<int>(
        std::lround(static_cast<double>(std::clamp(percent, 0, kMaxVolumePercent)) *
                    kVolumeSliderMax / kMaxVolumePercent));
    return kVolumeSliderMax - loudness;
}

constexpr int kSnapshotPollMs = 50;

struct ButtonSpec {
    int id;
    int bitmap;
    const char* tooltipKey;  // nullptr: none
    const char* keyHint;     // the keyboard habit added to the tooltip, or nullptr
};

constexpr ButtonSpec kButtons[] = {
    {PlayPanel::kIdPlay, 140, "Play", "Space"},
    {PlayPanel::kIdStop, 142, "Stop", nullptr},
    {PlayPanel::kIdPause, 141, "Pause", "Space"},
    {PlayPanel::kIdBackward, 447, "BackWardPlay", nullptr},
    {PlayPanel::kIdPrevFrame, 146, "PreFrame", "Left"},
    {PlayPanel::kIdNextFrame, 145, "NextFrame", "Right"},
    {PlayPanel::kIdPrevFile, 161, "PrevFile", "PgUp"},
    {PlayPanel::kIdNextFile, 162, "NextFile", "PgDown"},
    {PlayPanel::kIdOpen, 139, "Open", nullptr},
    {PlayPanel::kIdSnapshot, 147, "SnapShot", "S"},
    {PlayPanel::kIdMap, 437, "Google Map", nullptr},
    {PlayPanel::kIdConfig, 163, "Config", nullptr},
    {PlayPanel::kIdSave, 449, "Save The Playing File", nullptr},
    {PlayPanel::kIdMarkIn, 450, "Mark In", "I"},
    {PlayPanel::kIdMarkOut, 451, "Mark Out", "O"},
    {PlayPanel::kIdBackup, kBackupBitmap, "Backup", nullptr},
    {PlayPanel::kIdCardSetup, 457, "SD Card Setup", nullptr},
    {PlayPanel::kIdMute, kMuteOffBitmap, nullptr, nullptr},
};

struct ButtonRow {
    std::initializer_list<int> ids;
    QRect first[2];  // mode 0; modes 1 and 2 (left, top, width, height)
    int step[2];
};

const ButtonRow kRows[] = {
    {{PlayPanel::kIdPrevFile, PlayPanel::kIdPrevFrame, PlayPanel::kIdBackward, PlayPanel::kIdPause,
      PlayPanel::kIdStop, PlayPanel::kIdPlay},
     {QRect(6, 474, 32, 22), QRect(16, 633, 32, 22)},
     {32, 40}},
    {{PlayPanel::kIdNextFrame, PlayPanel::kIdNextFile, PlayPanel::kIdMarkIn, PlayPanel::kIdMarkOut,
      PlayPanel::kIdBackup},
     {QRect(18, 500, 32, 22), QRect(32, 665, 32, 22)},
     {32, 40}},
    {{PlayPanel::kIdOpen, PlayPanel::kIdSave, PlayPanel::kIdSnapshot, PlayPanel::kIdMap,
      PlayPanel::kIdConfig},
     {QRect(8, 537, 37, 34), QRect(10, 717, 37, 34)},
     {37, 53}},
};

// The two buttons outside the rows: mute left of the volume slider, card setup centred under
// the large buttons (smaller in the small panel, where the room below them is shorter).
const QRect kMuteRect[2] = {QRect(6, 399, 32, 22), QRect(16, 534, 32, 22)};
const QRect kCardSetupRect[2] = {QRect(86, 574, 28, 25), QRect(117, 762, 37, 34)};

struct SliderSpec {
    int id;
    int kind;
    int maximum;
    int track[2];  // mode 0; modes 1 and 2
    int thumb;
    QRect place[2];  // (left, top, right, bottom) as QRect(QPoint, QPoint) minus one
};

const SliderSpec kSliders[] = {
    {PlayPanel::kIdSeek,
     PlayPanel::kSeekKind,
     kSeekMax,
     {446, 133},
     151,
     {QRect(QPoint(9, 330), QPoint(191, 347)), QRect(QPoint(12, 440), QPoint(255, 457))}},
    {PlayPanel::kIdVolume,
     PlayPanel::kVolumeKind,
     kVolumeSliderMax,
     {442, 152},
     155,
     {QRect(QPoint(42, 402), QPoint(190, 417)), QRect(QPoint(56, 537), QPoint(254, 552))}},
    {PlayPanel::kIdSpeed,
     PlayPanel::kSpeedKind,
     kSpeedMax,
     {445, 153},
     154,
     {QRect(QPoint(42, 366), QPoint(190, 373)), QRect(QPoint(55, 489), QPoint(253, 498))}},
};

const QRect kExportProgressRect[2] = {QRect(9, 458, 183, 6), QRect(12, 610, 244, 8)};

int ModeIndex(int uiMode) {
    return uiMode == 0 ? 0 : 1;
}

QString Text(const char* key) {
    return QString::fromStdString(GetLanguageString(key));
}

QString DefaultOpenName(QWidget* parent) {
    return QFileDialog::getOpenFileName(
        parent, Text("Open File"), QString(),
        QStringLiteral("Recordings (*.ts *.nts);;ts file(*.ts);;nts file(*.nts);;All Files(*.*)"));
}

}  // namespace

PlayPanel::PlayPanel(MainWindow& mainWindow, AppShared& app, int uiMode)
    : SkinDialog(&mainWindow, Placement::kChild), main_(mainWindow), app_(app), uiMode_(uiMode) {
    app_.session.AddListener(this);
    // Dragging the panel drags the whole window: the press goes on to the main window.
    SetDraggable(false);
    SetSkin(uiMode == 0 ? 439 : (uiMode == 1 ? 130 : 454));
    dashboard_ = new Dashboard(uiMode, this);
    CreateSliders();
    CreateButtons();
    framesLabel_ = new QLabel(this);
    framesLabel_->setObjectName(QStringLiteral("FPS"));
    framesLabel_->hide();
    exportProgress_ = new QProgressBar(this);
    exportProgress_->setTextVisible(false);
    exportProgress_->setGeometry(kExportProgressRect[ModeIndex(uiMode)]);
    exportProgress_->setStyleSheet(QStringLiteral(
        "QProgressBar{background:#07090c;border:1px solid #2c333e;border-radius:3px;}"
        "QProgressBar::chunk{background:#ffa62b;border-radius:2px;}"));
    exportProgress_->hide();
    ApplyTooltips();
    ApplySpeedUnit();
    framesTimer_ = new QTimer(this);
    connect(framesTimer_, &QTimer::timeout, this, [this] { OnFramesTimer(); });
    framesTimer_->start(kFramesTimerMs);
    loopTimer_ = new QTimer(this);
    loopTimer_->setInterval(kLoopCheckMs);
    connect(loopTimer_, &QTimer::timeout, this, [this] {
        PlaybackChannel* channel = Channel();
        if (channel == nullptr || channel != loopChannel_) {
            loop_.Stop();  // another recording: its marks are not the ones looped
            loopTimer_->stop();
            return;
        }
        loop_.Follow(*channel);
    });
    positionTimer_ = new QTimer(this);
    positionTimer_->setSingleShot(true);
    // While positions keep coming the timer keeps running, so they show at its pace.
    connect(positionTimer_, &QTimer::timeout, this, [this] {
        if (ShowPosition()) {
            positionTimer_->start(kPositionRefreshMs);
        }
    });
    snapshotPoll_ = new QTimer(this);
    snapshotPoll_->setInterval(kSnapshotPollMs);
    connect(snapshotPoll_, &QTimer::timeout, this, [this] { TakeSnapshotResults(); });
    chooseSaveName = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(this, Text("Save The Playing File"), suggested,
                                            QStringLiteral("ts Files (*.ts)"));
    };
    chooseExportName = [this](const QString&) {
        const std::optional<BackupChoice> choice = AskBackupTarget(
            this, Text("Backup"), Text("Leave out the sound (cabin conversations)"));
        exportWithoutSound = choice && choice->withoutSound;
        return choice ? choice->path : QString();
    };
    chooseOpenName = [this](const QString&) { return DefaultOpenName(this); };
    confirmStopExport = [this] {
        return QMessageBox::question(this, QStringLiteral("Velmaro"),
                                     Text("Stop the clip being written?")) == QMessageBox::Yes;
    };
    confirmReplaceSidecar = [this](const QString& sidecar) {
        return QMessageBox::question(this, QStringLiteral("Velmaro"),
                                     Text("The clip's subtitle file exists already. Replace it?") +
                                         QLatin1Char('\n') + sidecar) == QMessageBox::Yes;
    };
    chooseTrackName = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(
            this, Text("Export Track"), suggested,
            QStringLiteral("GPX (*.gpx);;KML (*.kml);;CSV (*.csv)"));
    };
    if (uiMode == 0) {
        resize(203, 600);
    } else {
        resize(271, 800);
    }
    LayOutButtons();
}

PlayPanel::~PlayPanel() {
    app_.session.RemoveListener(this);
}

ExportJobs& PlayPanel::Exports() const {
    return app_.session.Exports();
}

bool PlayPanel::BackupRunning() const {
    return Exports().ClipRunning();
}

bool PlayPanel::SaveRunning() const {
    return Exports().CopyRunning();
}

double PlayPanel::Scale() const {
    return uiMode_ == 0 ? 0.75 : 1.0;
}

void PlayPanel::CreateButtons() {
    for (const ButtonSpec& spec : kButtons) {
        auto* button = new SkinButton(this);
        button->SetSkin(spec.bitmap);
        button->setObjectName(QString::number(spec.id));
        // Tab reaches it; a click leaves the focus where it was, so Space keeps pausing.
        button->setFocusPolicy(Qt::TabFocus);
        buttons_[spec.id] = button;
    }
    const auto on = [this](int id, auto action) {
        connect(buttons_.at(id), &QAbstractButton::clicked, this, action);
    };
    on(kIdPlay, [this] { Play(); });
    on(kIdStop, [this] { Stop(); });
    on(kIdPause, [this] { Pause(); });
    on(kIdBackward, [this] { PlayBackward(); });
    on(kIdPrevFrame, [this] { StepFrame(true); });
    on(kIdNextFrame, [this] { StepFrame(false); });
    on(kIdPrevFile, [this] { PreviousFile(); });
    on(kIdNextFile, [this] { NextFile(); });
    on(kIdOpen, [this] { ShowOpenMenu(); });
    on(kIdSnapshot, [this] { Snapshot(); });
    on(kIdMap, [this] { ToggleMap(); });
    on(kIdConfig, [this] {
        if (runPreferences) {
            runPreferences();
        }
    });
    on(kIdCardSetup, [this] {
        if (runCardSetup) {
            runCardSetup();
        }
    });
    on(kIdSave, [this] { SavePlayingFile(); });
    on(kIdMarkIn, [this] { MarkIn(); });
    on(kIdMarkOut, [this] { MarkOut(); });
    on(kIdBackup, [this] { ExportClip(); });
    on(kIdMute, [this] { ToggleMute(); });
    // Said to be checked while the sound is off; the bitmap shows it on screen.
    buttons_.at(kIdMute)->setCheckable(true);
}

void PlayPanel::CreateSliders() {
    const int m = ModeIndex(uiMode_);
    for (const SliderSpec& spec : kSliders) {
        auto* slider = new SkinSliderButton(this);
        slider->SetSkin(spec.track[m]);
        slider->SetThumb(spec.thumb);
        slider->setGeometry(spec.place[m]);
        slider->SetRange(0, spec.maximum);
        slider->SetIdentifier(spec.kind);
        slider->setObjectName(QString::number(spec.id));
        slider->setFocusPolicy(Qt::TabFocus);
        connect(slider, &SkinSliderButton::Notify, this,
                [this](quint32 code, int id, int pos) { OnSliderNotify(code, id, pos); });
        (spec.id == kIdSeek     ? seekSlider_
         : spec.id == kIdVolume ? volumeSlider_
                                : speedSlider_) = slider;
    }
    seekSlider_->SetPos(0);
    speedSlider_->SetPos(kNormalSpeedPosition);
    const Mixer mixer;
    drivesMixer_ = Settings().volumeControlsSystem && mixer.IsValid();
    volumeSlider_->SetPos(drivesMixer_ ? VolumeSliderPosition(mixer.GetVolume())
                                       : SliderPositionForPercent(Settings().volume));
}

void PlayPanel::LayOutButtons() {
    const int m = ModeIndex(uiMode_);
    for (const ButtonRow& row : kRows) {
        QRect place = row.first[m];
        for (const int id : row.ids) {
            buttons_.at(id)->setGeometry(place);
            place.translate(row.step[m], 0);
        }
    }
    buttons_.at(kIdMute)->setGeometry(kMuteRect[m]);
    SkinButton* setup = buttons_.at(kIdCardSetup);
    setup->SetStretch(m == 0);
    setup->setGeometry(kCardSetupRect[m]);
}

SkinButton* PlayPanel::Button(int id) const {
    const auto it = buttons_.find(id);
    return it == buttons_.end() ? nullptr : it->second;
}

SkinSliderButton* PlayPanel::Slider(int id) const {
    switch (id) {
        case kIdSeek:
            return seekSlider_;
        case kIdVolume:
            return volumeSlider_;
        case kIdSpeed:
            return speedSlider_;
        default:
            return nullptr;
    }
}

void PlayPanel::ApplyTooltips() {
    for (const ButtonSpec& spec : kButtons) {
        QString tip = spec.tooltipKey != nullptr ? Text(spec.tooltipKey) : QString();
        if (spec.id == kIdMute) {
            tip = Text(muted_ ? "Sound off" : "Sound on") + QStringLiteral(" (M)");
        } else if (spec.keyHint != nullptr) {
            tip += QStringLiteral(" (%1)").arg(QLatin1String(spec.keyHint));
        }
        buttons_.at(spec.id)->setToolTip(tip);
        // The name is the tooltip without the key hint.
        buttons_.at(spec.id)->setAccessibleName(spec.id == kIdMute ? Text("Sound off")
                                                                   : Text(spec.tooltipKey));
    }
    speedSlider_->setToolTip(Text("Speed") + QStringLiteral(" (Up/Down)"));
    volumeSlider_->setToolTip(Text("Volume"));
    seekSlider_->setToolTip(Text("Position") + QStringLiteral(" (Shift+Left/Right, ") +
                            Text("mouse wheel") + QLatin1Char(')'));
    speedSlider_->setAccessibleName(Text("Speed"));
    volumeSlider_->setAccessibleName(Text("Volume"));
    seekSlider_->setAccessibleName(Text("Position"));
}

void PlayPanel::ApplySpeedUnit() {
    dashboard_->ApplySpeedUnit(Settings().unitOfSpeed);
}

PlaybackChannel* PlayPanel::Channel() const {
    return app_.session.Channel();
}

void PlayPanel::OnTelemetry(const GpsRecord& fix, const GSensorRecord& g, bool) {
    dashboard_->OnTelemetry(g, fix);
}

// --- Opening ---------------------------------------------------------------------------------

bool PlayPanel::OpenRecording(const QString& path) {
    // Said here, before anything is closed: the reader would only find out on its own thread.
    if (const UniqueFd probe = OpenRegularFile(path.toStdString()); !probe.Valid()) {
        const std::string reason = SystemError("cannot open " + path.toStdString(), errno);
        std::fprintf(stderr, "velmaro: %s\n", reason.c_str());
        ShowNotice(QString::fromStdString(reason));
        return false;
    }
    TakeSnapshotResults();  // the last word on snapshots of the recording being closed
    dashboard_->Reset();
    const AppSettings& s = Settings();
    ChannelLinks links = main_.PlaybackLinks();
    links.displayMode = s.displayMode;
    links.soundAmplification = muted_ ? 0.0 : static_cast<double>(s.soundAmplification);
    links.volume = PlayerVolume();
    const bool opened = app_.session.Open(path.toStdString(), links);
    speedSlider_->SetPos(kNormalSpeedPosition);
    seekSlider_->SetPos(0);
    return opened;
}

// The card's first recording plays at once; its list (which reads the end of every file, 200 of
// them on a full card) is built by the channel in the background, not here on the GUI thread.
void PlayPanel::OpenSdCard(bool showMessage) {
    const std::string recording = FindCardRecording();
    if (recording.empty()) {
        if (showMessage) {
            ShowNotice(Text("Record SD Card Not Find"));
        }
        return;
    }
    OpenRecording(QString::fromStdString(recording));
}

void PlayPanel::ChooseRecordingFile() {
    const QString path = chooseOpenName ? chooseOpenName(QString()) : QString();
    if (!path.isEmpty()) {
        OpenRecording(path);
    }
}

void PlayPanel::ShowOpenMenu() {
    QMenu menu(this);
    menu.addAction(Text("Open SD Card"), this, [this] { OpenSdCard(true); });
    menu.addAction(Text("Open File"), this, [this] { ChooseRecordingFile(); });
    QMenu* track = menu.addMenu(Text("Export Track"));
    track->setEnabled(Channel() != nullptr && !TrackRunning());
    track->addAction(Text("This Recording"), this, [this] { ExportTrack(TrackOf::kRecording); });
    QAction* stretch =
        track->addAction(Text("Marked Stretch"), this, [this] { ExportTrack(TrackOf::kStretch); });
    stretch->setEnabled(Channel() && MarksInOrder(ChannelExportRequest(*Channel(), {}).marks));
    track->addAction(Text("This Day"), this, [this] { ExportTrack(TrackOf::kDay); });
    menu.exec(QCursor::pos());
}

bool PlayPanel::TrackRunning() const {
    return Exports().TrackRunning();
}

void PlayPanel::ExportTrack(TrackOf what) {
    if (!Channel() || TrackRunning()) {
        return;
    }
    TrackRequest request;
    request.recordingPath = Channel()->reader.CurrentPath();
    request.marks = ChannelExportRequest(*Channel(), {}).marks;
    const QDate day = main_.SelectedDate();
    request.day = {day.year(), day.month(), day.day()};
    // The day as the calendar shows it: on GPS time when the user chose that.
    const IncidentNavigator* navigator = main_.Incidents();
    request.dayShift = navigator != nullptr ? navigator->Shift() : 0;
    request.scope = what == TrackOf::kStretch ? TrackScope::kStretch
                    : what == TrackOf::kDay   ? TrackScope::kDay
                                              : TrackScope::kRecording;
    if (request.recordingPath.empty() ||
        (what == TrackOf::kStretch && !MarksInOrder(request.marks)) ||
        (what == TrackOf::kDay && !day.isValid())) {
        return;
    }
    const QString suggested =
        what == TrackOf::kDay ? day.toString(Qt::ISODate)
                              : QFileInfo(QString::fromStdString(request.recordingPath)).baseName();
    const QString target = chooseTrackName(suggested + QStringLiteral(".gpx"));
    if (target.isEmpty()) {
        return;
    }
    request.outputPath = target.toStdString();
    if (!Exports().StartTrack(request)) {
        ShowMessage(Text("Export Track"), true);
    }
}

void PlayPanel::OnTrackEnd(const TrackOutcome& outcome) {
    if (outcome.ok) {
        ShowMessage(
            QString::fromStdString(outcome.outputPath) + QLatin1Char(' ') + Text("Finish Backup"),
            false);
    } else {
        ShowMessage(QString::fromStdString(outcome.error), true);
    }
}

// --- Playing ---------------------------------------------------------------------------------

void PlayPanel::Play() {
    if (Channel()) {
        Channel()->Play();
        speedSlider_->SetPos(kNormalSpeedPosition);
    }
}

void PlayPanel::PlayBackward() {
    if (Channel()) {
        Channel()->PlayBackward();
        speedSlider_->SetPos(kNormalSpeedPosition);
    }
}

void PlayPanel::Pause() {
    if (Channel()) {
        Channel()->Pause();
    }
}

void PlayPanel::TogglePause() {
    if (!Channel()) {
        return;
    }
    const bool held = Channel()->state.paused.load() != 0 ||
                      Channel()->state.playMode.load() == kPlayHeld ||
                      Channel()->state.playMode.load() == kPlayStep;
    if (!held) {
        Pause();
    } else if (Channel()->reader.DirectionAskedFor()) {
        PlayBackward();
    } else {
        Play();
    }
}

void PlayPanel::StepFrame(bool backward) {
    if (Channel()) {
        Channel()->Step(backward);
    }
}

void PlayPanel::Stop() {
    TakeSnapshotResults();
    app_.session.Close();
    seekSlider_->SetPos(0);
    dashboard_->Reset();
}

void PlayPanel::PreviousFile() {
    if (Channel()) {
        Channel()->PreviousRecording();
    }
}

void PlayPanel::NextFile() {
    if (Channel()) {
        Channel()->NextRecording();
    }
}

void PlayPanel::Snapshot() {
    if (!Channel()) {
        return;
    }
    // On GPS time where the user chose it after the clock check, as the navigator shows times.
    const IncidentNavigator* navigator = main_.Incidents();
    const SnapshotRequest request =
        ChannelSnapshotRequest(*Channel(), Settings().snapshotPath,
                               navigator != nullptr ? navigator->Shift() : 0, std::time(nullptr));
    lastSnapshotPath_ = request.path;
    Channel()->RequestSnapshot(request);
    snapshotPoll_->start();
}

// The video worker writes snapshots on its own thread; what became of each is told here: the
// file written beside the button, a failure in a message.
void PlayPanel::TakeSnapshotResults() {
    if (!Channel()) {
        snapshotPoll_->stop();
        return;
    }
    for (const SnapshotResult& r : Channel()->state.TakeSnapshotResults()) {
        snapshotResults_.push_back(r);
        if (r.Written()) {
            lastMessage_ = QString::fromStdString(r.path);
            SkinButton* button = buttons_.at(kIdSnapshot);
            QToolTip::showText(button->mapToGlobal(QPoint(0, button->height())),
                               QString::fromStdString(DescribeSnapshot(r)), button);
        } else {
            ShowMessage(QString::fromStdString(DescribeSnapshot(r)), true);
        }
    }
    if (!Channel()->state.PendingSnapshot()) {
        snapshotPoll_->stop();
    }
}

void PlayPanel::ToggleMap() {
    MapPort* map = main_.Map();
    if (map->Widget()->isVisible()) {
        map->FloatWindow();
    } else {
        map->Widget()->show();
    }
}

void PlayPanel::MarkIn() {
    if (Channel()) {
        Channel()->MarkIn();
        loop_.Stop();  // the stretch is being marked afresh
        loopTimer_->stop();
    }
}

void PlayPanel::ToggleLoop() {
    PlaybackChannel* channel = Channel();
    if (loop_.Active() || channel == nullptr) {
        loop_.Stop();
        loopTimer_->stop();
        return;
    }
    if (!loop_.Start(*channel)) {
        ShowNotice(Text("Mark the stretch to loop first: I at its start, O at its end"));
        return;
    }
    loopChannel_ = channel;
    loopTimer_->start();
}

void PlayPanel::MarkOut() {
    if (Channel()) {
        Channel()->MarkOut();
        if (loop_.Active()) {
            loop_.Start(*Channel());  // the loop goes on over the stretch as now marked
        }
    }
}

void PlayPanel::ToggleMute() {
    muted_ = !muted_;
    buttons_.at(kIdMute)->SetSkin(muted_ ? kMuteOnBitmap : kMuteOffBitmap);
    buttons_.at(kIdMute)->setChecked(muted_);
    LayOutButtons();  // SetSkin gives the button the frame's size
    ApplyTooltips();
    ApplySoundAmplification();
}

void PlayPanel::ApplySoundAmplification() {
    if (Channel()) {
        Channel()->SetSoundAmplification(
            muted_ ? 0.0 : static_cast<double>(Settings().soundAmplification));
    }
}

// --- Sliders ---------------------------------------------------------------------------------

void PlayPanel::OnSliderNotify(quint32 code, int identifier, int position) {
    if (code != kMsgThumbReleased) {
        return;
    }
    switch (identifier) {
        case kSeekKind:
            SeekTo(position);
            break;
        case kVolumeKind:
            SetVolumePosition(position);
            break;
        case kSpeedKind:
            SetSpeedPosition(position);
            break;
        default:
            break;
    }
}

void PlayPanel::SeekTo(int position) {
    position = std::clamp(position, 0, kSeekMax);
    seekSlider_->SetPos(position);
    if (Channel()) {
        Channel()->Seek(position);
    }
}

void PlayPanel::SeekBy(int perMille) {
    SeekTo(seekSlider_->GetPos() + perMille);
}

void PlayPanel::SetVolumePosition(int position) {
    position = std::clamp(position, 0, kVolumeSliderMax);
    volumeSlider_->SetPos(position);
    if (drivesMixer_) {
        Mixer mixer;
        if (mixer.IsValid()) {
            mixer.SetVolume(VolumeForSliderPosition(position));
        }
    } else {
        SaveVolume(Settings(), VolumePercentAt(position));
        if (Channel()) {
            Channel()->SetVolume(PlayerVolume());
        }
    }
    update();  // the volume bar
}

SoundVolume PlayPanel::PlayerVolume() const {
    // Driving the master volume, the player plays at full and leaves the loudness to the mixer.
    return drivesMixer_ ? SoundVolume() : SoundVolume::FromPercent(Settings().volume);
}

void PlayPanel::SetSpeedPosition(int position) {
    position = std::clamp(position, 0, kSpeedMax);
    speedSlider_->SetPos(position);
    if (Channel()) {
        Channel()->SetSpeed(position);
    }
}

void PlayPanel::StepSpeed(int step) {
    SetSpeedPosition(speedSlider_->GetPos() + step);
}

void PlayPanel::wheelEvent(QWheelEvent* event) {
    const QPoint at = event->position().toPoint();
    if (!seekSlider_->geometry().adjusted(0, -8, 0, 8).contains(at)) {
        SkinDialog::wheelEvent(event);
        return;
    }
    // One notch a hundredth of the file, forward when rolled away from the user.
    const int notches = event->angleDelta().y() / 120;
    if (notches != 0) {
        SeekBy(notches * 10);
    }
    event->accept();
}

// --- Messages from the channel ---------------------------------------------------------------

void PlayPanel::OnPosition(int32_t perMille) {
    positionToShow_ = perMille;  // the session hands over 0..1000 only
    // The first position after a pause shows at once, later ones with the timer.
    if (!positionTimer_->isActive()) {
        ShowPosition();
        positionTimer_->start(kPositionRefreshMs);
    }
}

bool PlayPanel::ShowPosition() {
    if (seekSlider_->IsDragging() || seekSlider_->GetPos() == positionToShow_) {
        return false;
    }
    seekSlider_->SetPos(positionToShow_);
    return true;
}

void PlayPanel::OnFramesTimer() {
    if (Channel()) {
        const int shown = Channel()->state.framesShown.exchange(0);
        framesLabel_->setText(QString::number(shown));
    }
    const QString note = PlaybackNote();
    if (note != playbackNote_) {
        playbackNote_ = note;
        if (showPlaybackNote) {
            showPlaybackNote(note);
        }
    }
}

// Totals since the recording was opened, so that a user who saw a picture stutter can tell
// the machine fell behind, and one who sees none knows a picture was too large.
QString PlayPanel::PlaybackNote() const {
    QStringList parts;
    if (!Channel()) {
        return {};
    }
    const int dropped = Channel()->state.framesDropped.load();
    if (dropped > 0) {
        parts << Text("Pictures left out to keep up: %1").arg(dropped);
    }
    const uint64_t oversize = Channel()->state.videoQueue.OversizeDrops();
    if (oversize > 0) {
        parts << Text("Pictures too large to play: %1").arg(oversize);
    }
    return parts.join(QStringLiteral("   "));
}

// --- Saving and exporting --------------------------------------------------------------------

void PlayPanel::SavePlayingFile() {
    if (!Channel() || SaveRunning()) {
        return;
    }
    const std::string source = Channel()->ShownFilePath();
    if (source.empty()) {
        return;
    }
    const QString target = chooseSaveName(QFileInfo(QString::fromStdString(source)).fileName());
    if (target.isEmpty()) {
        return;
    }
    if (!Exports().StartCopy(source, target.toStdString())) {
        return;
    }
    exportProgress_->setRange(0, 0);  // a copy has no steps to show: busy
    exportProgress_->show();
}

void PlayPanel::OnCopyEnd(const std::string& target, const FileCopyResult& result) {
    if (!BackupRunning()) {
        exportProgress_->hide();
    }
    if (result.ok) {
        ShowMessage(QString::fromStdString(target) + QLatin1Char(' ') + Text("Finish Backup"),
                    false);
    } else {
        ShowMessage(QString::fromStdString(result.error), true);
    }
}

void PlayPanel::ExportClip() {
    // While a clip is being written the button offers to stop it; a second one would need the
    // first one's end.
    if (BackupRunning()) {
        if (confirmStopExport()) {
            Exports().StopClip();
        }
        return;
    }
    if (!Channel()) {
        return;
    }
    if (!MarksInOrder(ChannelExportRequest(*Channel(), std::string()).marks)) {
        return;
    }
    const QString target = chooseExportName(QString());
    if (target.isEmpty()) {
        return;
    }
    ExportRequest request = ChannelExportRequest(*Channel(), target.toStdString());
    request.writeSubtitles = Settings().subtitleOnExport != 0;
    if (request.writeSubtitles && !SidecarAgreed(request)) {
        return;
    }
    request.speedUnit = Settings().unitOfSpeed;
    request.withoutSound = exportWithoutSound;
    // An earlier export still running is stopped and its temporary file removed.
    std::string error;
    if (!Exports().StartClip(request, error)) {
        SetBackupBitmap(false);
        ShowMessage(QString::fromStdString(error), true);
        return;
    }
    SetBackupBitmap(true);
    exportProgress_->setRange(0, 1000);
    exportProgress_->setValue(0);
    exportProgress_->show();
}

// The file dialog asked about the clip only: a NAME.srt beside it is the user's to give up.
bool PlayPanel::SidecarAgreed(ExportRequest& request) {
    const QString sidecar = QString::fromStdString(SubtitlePathFor(request.outputPath));
    switch (SidecarPlaceFor(request.outputPath)) {
        case SidecarPlace::kFree:
            return true;
        case SidecarPlace::kInTheWay:
            ShowMessage(Text("Something other than a file stands where the subtitles would go:") +
                            QLatin1Char('\n') + sidecar,
                        true);
            return false;
        case SidecarPlace::kFile:
            request.replaceSubtitles = confirmReplaceSidecar && confirmReplaceSidecar(sidecar);
            return request.replaceSubtitles;
    }
    return false;
}

void PlayPanel::OnExportProgress(int64_t done, int64_t toDo) {
    if (toDo > 0) {
        exportProgress_->setValue(
            static_cast<int>(std::clamp<int64_t>(done * 1000 / toDo, 0, 1000)));
    }
}

void PlayPanel::OnExportEnd(const ExportOutcome& outcome) {
    SetBackupBitmap(false);
    if (!SaveRunning()) {
        exportProgress_->hide();
    }
    switch (outcome.end) {
        case ExportEnd::kFinished:
            ShowMessage(QString::fromStdString(outcome.outputPath) + QLatin1Char(' ') +
                            Text("Finish Backup") +
                            (outcome.reason.empty()
                                 ? QString()
                                 : QLatin1Char('\n') + QString::fromStdString(outcome.reason)),
                        false);
            break;
        case ExportEnd::kFailed:
        case ExportEnd::kRanOut:
            ShowMessage(QString::fromStdString(outcome.reason), true);
            break;
        case ExportEnd::kStopped:
            break;
    }
}

void PlayPanel::SetBackupBitmap(bool running) {
    SkinButton* backup = buttons_.at(kIdBackup);
    const QRect place = backup->geometry();
    backup->SetSkin(running ? kBackupRunningBitmap : kBackupBitmap);
    backup->setGeometry(place);
}

// Not modal: playback, an export and the tests go on while it is open.
void PlayPanel::ShowNotice(const QString& text) {
    lastMessage_ = text;
    if (showNotice) {
        showNotice(text);
    } else {
        ShowMessage(text, true);
    }
}

void PlayPanel::ShowMessage(const QString& text, bool failure) {
    lastMessage_ = text;
    if (messageBox_) {
        messageBox_->close();
    }
    messageBox_ = new QMessageBox(failure ? QMessageBox::Warning : QMessageBox::Information,
                                  QStringLiteral("Velmaro"), text, QMessageBox::Ok, this);
    messageBox_->setAttribute(Qt::WA_DeleteOnClose);
    messageBox_->open();
}

// --- Painting --------------------------------------------------------------------------------

int PlayPanel::VolumePosition() const {
    return volumeSlider_->GetPos();
}

void PlayPanel::paintEvent(QPaintEvent* event) {
    SkinDialog::paintEvent(event);
    QPainter painter(this);
    PaintVolumeBar(painter);
}

// The bars right of the level lit, those left of it dark, as the slider's position says.
void PlayPanel::PaintVolumeBar(QPainter& painter) const {
    const double s = Scale();
    const int a =
        std::clamp(VolumePosition() * kVolumeBarWidth / kVolumeBarSteps, 0, kVolumeBarWidth);
    const QPixmap lit = SkinBitmap(uiMode_ == 0 ? 444 : 159);
    const QPixmap dark = SkinBitmap(uiMode_ == 0 ? 443 : 160);
    const auto r = [s](double v) { return static_cast<int>(std::lround(s * v)); };
    const int y = r(kVolumeBarY);
    const int h = r(kVolumeBarHeight);
    if (!lit.isNull()) {
        DrawSkin(painter, QRect(r(kVolumeBarX + a), y, r(kVolumeBarWidth - a), h), lit,
                 QRect(r(a), 0, r(kVolumeBarWidth - a), h));
    }
    if (!dark.isNull() && a > 0) {
        DrawSkin(painter, QRect(r(kVolumeBarX), y, r(a), h), dark, QRect(0, 0, r(a), h));
    }
}

}  // namespace velmaro
