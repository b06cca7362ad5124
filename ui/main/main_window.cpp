// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QShortcut>
#include <QUrl>
#include <array>
#include <ctime>
#include <functional>
#include <vector>

#include "app/app_settings.h"
#include "app/language_table.h"
#include "controls/grid_row.h"
#include "controls/month_calendar.h"
#include "controls/skin_button.h"
#include "platform/drive_watcher.h"
#include "platform/drives.h"
#include "playback/playback_channel.h"
#include "stream/telemetry_handover.h"
#include "ui/dialogs/card_setup_dialog.h"
#include "ui/dialogs/preferences_dialog.h"
#include "ui/dialogs/udisks2_formatter.h"
#include "ui/main/app_shared.h"
#include "ui/main/empty_hint.h"
#include "ui/main/focus_chain.h"
#include "ui/main/shortcut_overlay.h"
#include "ui/main/time_strip.h"
#include "ui/main/time_strip_feed.h"
#include "ui/map/map_view.h"
#include "ui/map/route_seeker.h"
#include "ui/navigator/incident_navigator.h"
#include "ui/panel/play_panel.h"
#include "ui/video/video_widget.h"
#include "ui/video/video_window.h"

namespace velmaro {
namespace {

QString Text(const char* key) {
    return QString::fromStdString(GetLanguageString(key));
}

constexpr int kModes = 3;
constexpr int kElements = 11;

// (x, y, width, height) per UI mode, in the order of MainWindow::Element.
constexpr std::array<std::array<std::array<int, 4>, kElements>, kModes> kLayout = {{
    {{{919, 2, 28, 24},
      {891, 2, 28, 24},
      {205, 31, 751, 394},
      {0, 0, 203, 600},
      {695, 448, 261, 148},
      {236, 476, 247, 12},
      {236, 499, 247, 12},
      {249, 535, 233, 12},
      {249, 569, 233, 12},
      {496, 462, 191, 124},
      {205, 425, 751, 20}}},
    {{{1239, 2, 28, 24},
      {1211, 2, 28, 24},
      {273, 31, 1002, 539},
      {0, 0, 271, 800},
      {924, 596, 350, 198},
      {314, 634, 328, 14},
      {314, 663, 328, 14},
      {331, 713, 311, 16},
      {331, 758, 311, 16},
      {664, 626, 247, 147},
      {273, 570, 1002, 24}}},
    {{{1879, 2, 28, 24},
      {1851, 2, 28, 24},
      {315, 31, 1598, 872},
      {21, 280, 271, 800},
      {1322, 933, 593, 143},
      {373, 976, 658, 12},
      {0, 0, 0, 0},
      {392, 1025, 622, 16},
      {0, 0, 0, 0},
      {1059, 941, 253, 129},
      {315, 903, 1598, 26}}},
}};

constexpr std::array<QSize, kModes> kWindowSizes = {QSize(960, 600), QSize(1280, 800),
                                                    QSize(1920, 1080)};
constexpr std::array<int, kModes> kBackgrounds = {438, 131, 448};
constexpr int kCloseBitmap = 134;
constexpr int kRestoreBitmap = 135;
constexpr int kMinimizeBitmap = 136;
constexpr int kTitleNameWidth = 160;  // the window's name drawn at the title bar's left
constexpr int kTitleNoteGap = 12;
constexpr int kMaximizedBitmap = 137;
constexpr int kLabelEvery = 5;      // minutes with their number on the minute row
constexpr int kHourLabelEvery = 3;  // hours with theirs on the hour row, room allowing
constexpr int kSeekKeyStep = 50;    // per mille: 5 % of the file

const QColor kGrey(0x68, 0x68, 0x68);
const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);

int ClampMode(int uiMode) {
    return uiMode < 0 ? 0 : (uiMode >= kModes ? kModes - 1 : uiMode);
}

QColor StateColour(int state) {
    if (state == kNoRecording) {
        return kGrey;
    }
    return state == 1 || state == kRecorded ? kGreen : kRed;
}

CivilDate ToCivil(QDate date) {
    return {date.year(), date.month(), date.day()};
}

QFont LabelFont() {
    QFont font(QStringLiteral("Aril"));
    font.setPixelSize(9);
    font.setWeight(QFont::Medium);
    return font;
}

}  // namespace

QSize MainWindow::WindowSize(int uiMode) {
    return kWindowSizes[ClampMode(uiMode)];
}

QRect MainWindow::ElementRect(int uiMode, Element element) {
    const auto& r = kLayout[ClampMode(uiMode)][static_cast<int>(element)];
    return QRect(r[0], r[1], r[2], r[3]);
}

MainWindow::MainWindow(AppShared& app, int uiMode)
    : SkinDialog(nullptr, Placement::kWindow),
      app_(app),
      uiMode_(ClampMode(uiMode)),
      sessionEvents_(this, app.session) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle(QStringLiteral("Velmaro"));
    setAcceptDrops(true);
    SetSkin(kBackgrounds[uiMode_]);
    videoWindow_ = new VideoWindow(this);
    CreateTitleButtons();
    auto* map = new MapView(this);
    map_ = map;
    map_->ResetTrack(playbackGeneration_);
    CreateNavigator();
    playCtrl_ = new PlayPanel(*this, app_, uiMode_);
    playCtrl_->runPreferences = [this] { RunPreferences(*playCtrl_, app_.versionText); };
    playCtrl_->show();
    playCtrl_->runCardSetup = [this] { RunCardSetup(); };
    playbackNote_ = new QLabel(this);
    playbackNote_->setStyleSheet(QStringLiteral("color:#ffa62b;"));
    playbackNote_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    playbackNote_->hide();
    playCtrl_->showPlaybackNote = [this](const QString& note) {
        playbackNote_->setText(note);
        playbackNote_->setVisible(!note.isEmpty());
    };
    emptyHint_ = new EmptyHint(
        Text("Insert the camera's card, or open a recording: Ctrl+O"), Text("Open File"),
        [this] { playCtrl_->ChooseRecordingFile(); }, this);
    incidents_ = new IncidentNavigator(*this, app_.session, Settings().incidentThreshold);
    timeStrip_ = new TimeStrip(this);
    shortcutOverlay_ = new ShortcutOverlay(Text("Keys"), this);
    timeStripFeed_ = new TimeStripFeed(
        *timeStrip_, app_.session, [this] { return incidents_ ? incidents_->Shift() : 0; }, this);
    timeStripFeed_->SetLoopQuery([this] { return playCtrl_->Loop().Active(); });
    playCtrl_->showNotice = [this](const QString& notice) { timeStrip_->ShowMessage(notice); };
    routeSeeker_ = new RouteSeeker([this] { return app_.session.Channel(); }, this);
    connect(map, &MapView::RoutePicked, routeSeeker_, &RouteSeeker::Pick);
    videoWindow_->hide();
    map->hide();
    layoutReady_ = true;
    move(0, 0);
    setFixedSize(WindowSize(uiMode_));
    LayOut();
    ClearDay();
    selectedDate_ = calendar_->CurrentDate();
    RecolourGrids();
    BindKeys();
    SetUpFocusChain(*this);
    app_.session.AddListener(this);
}

MainWindow::~MainWindow() {
    app_.session.RemoveListener(this);
    // No card may arrive into a window being taken apart.
    cardWatcher_.reset();
    delete incidents_;  // its day scan stops before the windows it marks go
    incidents_ = nullptr;
    delete routeSeeker_;  // its reading stops before the channel it seeks goes
    routeSeeker_ = nullptr;
    // The channel draws into the video window and sends through this window's adapter: it
    // stops first. Exports still running end with the session; the adapter, going with this
    // window, withdraws the poster their ends would come through.
    app_.session.Close();
    delete playCtrl_;
    playCtrl_ = nullptr;
    // Full-screen or floating windows are brought home so they go with this one.
    videoWindow_->Dock();
    map_->DockWindow();
}

// The card setup, modal; it stops the playback first when it formats or clears the card that
// holds the recording being played.
void MainWindow::RunCardSetup() {
    CardSetupDialog::PlaybackHooks hooks;
    hooks.playingFile = [this] {
        const PlaybackChannel* channel = app_.session.Channel();
        if (channel == nullptr) {
            return std::string();
        }
        const std::string current = channel->reader.CurrentPath();
        return current.empty() ? channel->filePath : current;
    };
    hooks.stopPlayback = [this] { playCtrl_->Stop(); };
    CardSetupDialog dialog(this, std::make_shared<UDisks2Formatter>(), std::move(hooks));
    dialog.exec();
}

void MainWindow::Start() {
    if (!app_.commandLineFile.empty()) {
        playCtrl_->OpenRecording(QString::fromStdString(app_.commandLineFile));
    } else {
        playCtrl_->OpenSdCard(false);
    }
    cardWatcher_ = std::make_unique<DriveArrivalWatcher>(
        DriveArrivalWatcher::ForDriveRoots(), [this](const std::vector<std::string>&) {
            QMetaObject::invokeMethod(
                this, [this] { OnDrivesArrived(); }, Qt::QueuedConnection);
        });
    cardWatcher_->Start();
}

void MainWindow::CreateTitleButtons() {
    const auto make = [this](int id, int bitmap) {
        auto* button = new SkinButton(this);
        button->SetSkin(bitmap);
        button->setObjectName(QString::number(id));
        button->setFocusPolicy(Qt::NoFocus);
        return button;
    };
    closeButton_ = make(kIdClose, kCloseBitmap);
    maximizeButton_ = make(kIdMaximize, kRestoreBitmap);
    minimizeButton_ = make(kIdMinimize, kMinimizeBitmap);
    maximizeButton_->hide();
    closeButton_->setToolTip(Text("Close"));
    minimizeButton_->setToolTip(Text("Minimise"));
    maximizeButton_->setToolTip(Text("Maximise"));
    connect(closeButton_, &QAbstractButton::clicked, this, [this] {
        close();
        QCoreApplication::quit();
    });
    connect(minimizeButton_, &QAbstractButton::clicked, this, [this] { showMinimized(); });
    connect(maximizeButton_, &QAbstractButton::clicked, this, [this] { ToggleMaximize(); });
}

void MainWindow::ToggleMaximize() {
    if (maximized_) {
        showNormal();
        maximizeButton_->SetSkin(kRestoreBitmap);
    } else {
        showMaximized();
        maximizeButton_->SetSkin(kMaximizedBitmap);
    }
    maximized_ = !maximized_;
    SetDraggable(!maximized_);
}

void MainWindow::CreateNavigator() {
    const auto make = [this](int id) {
        auto* grid = new GridRow(this);
        grid->setObjectName(QString::number(id));
        connect(grid, &GridRow::CellClicked, this,
                [this, id](int column) { OnGridClick(id, column); });
        return grid;
    };
    minuteGridLow_ = make(kIdMinuteGridLow);
    minuteGridHigh_ = make(kIdMinuteGridHigh);
    hourGridLow_ = make(kIdHourGridLow);
    hourGridHigh_ = make(kIdHourGridHigh);
    calendar_ = new MonthCalendar(this, kIdCalendar);
    connect(calendar_, &MonthCalendar::Notify, this, [this](int, int code) {
        if (code == kCalendarNotifyDateChanged) {
            selectedDate_ = calendar_->CurrentDate();
            FillDay(selectedDate_);
        }
    });
}

GridRow* MainWindow::Grid(int controlId) const {
    switch (controlId) {
        case kIdMinuteGridLow:
            return minuteGridLow_;
        case kIdMinuteGridHigh:
            return minuteGridHigh_;
        case kIdHourGridLow:
            return hourGridLow_;
        case kIdHourGridHigh:
            return hourGridHigh_;
        default:
            return nullptr;
    }
}

SkinButton* MainWindow::TitleButton(int controlId) const {
    switch (controlId) {
        case kIdClose:
            return closeButton_;
        case kIdMinimize:
            return minimizeButton_;
        case kIdMaximize:
            return maximizeButton_;
        default:
            return nullptr;
    }
}

// --- Layout ----------------------------------------------------------------------------------

void MainWindow::resizeEvent(QResizeEvent* event) {
    SkinDialog::resizeEvent(event);
    if (layoutReady_) {
        LayOut();
    }
}

void MainWindow::LayOut() {
    closeButton_->setGeometry(ElementRect(uiMode_, Element::kClose));
    const QRect minimize = ElementRect(uiMode_, Element::kMinimize);
    minimizeButton_->setGeometry(minimize);
    const QRect video = ElementRect(uiMode_, Element::kVideo);
    // Between the window's name and its buttons.
    playbackNote_->setGeometry(QRect(QPoint(video.left() + kTitleNameWidth, minimize.top()),
                                     QPoint(minimize.left() - kTitleNoteGap, minimize.bottom())));
    emptyHint_->setGeometry(video);
    shortcutOverlay_->setGeometry(video);
    timeStrip_->setGeometry(ElementRect(uiMode_, Element::kTimeStrip));
    videoWindow_->SetDockedRect(video);
    if (!videoWindow_->IsFloating()) {
        videoWindow_->setGeometry(video);
    }
    playCtrl_->setGeometry(ElementRect(uiMode_, Element::kPanel));
    const QRect map = ElementRect(uiMode_, Element::kMap);
    map_->SetDockedRect(map);
    if (!map_->IsFloating()) {
        map_->Widget()->setGeometry(map);
    }
    const std::pair<GridRow*, Element> grids[] = {{minuteGridLow_, Element::kMinuteGridLow},
                                                  {minuteGridHigh_, Element::kMinuteGridHigh},
                                                  {hourGridLow_, Element::kHourGridLow},
                                                  {hourGridHigh_, Element::kHourGridHigh}};
    for (const auto& [grid, element] : grids) {
        const QRect r = ElementRect(uiMode_, element);
        grid->setGeometry(r);
        grid->setVisible(!r.isEmpty());
    }
    BuildGrids();
    calendar_->setGeometry(ElementRect(uiMode_, Element::kCalendar));
    if (incidents_ != nullptr) {
        incidents_->LayOut(uiMode_);
    }
}

void MainWindow::BuildGrids() {
    const bool wide = uiMode_ == 2;
    BuildGrid(minuteGridLow_, wide ? kMinutesPerHour : kMinutesPerHour / 2, kLabelEvery, 0);
    BuildGrid(minuteGridHigh_, kMinutesPerHour / 2, kLabelEvery, kMinutesPerHour / 2);
    BuildGrid(hourGridLow_, wide ? kHoursPerDay : kHoursPerDay / 2, kHourLabelEvery, 0);
    BuildGrid(hourGridHigh_, kHoursPerDay / 2, kHourLabelEvery, kHoursPerDay / 2);
    RecolourGrids();
}

void MainWindow::BuildGrid(GridRow* grid, int columns, int labelEvery, int firstLabel) {
    grid->SetColumnCount(columns);
    const std::vector<int> widths = GridRow::SpreadWidths(grid->width(), columns);
    for (int i = 0; i < columns; ++i) {
        grid->SetColumnWidth(i, widths[static_cast<size_t>(i)]);
        const int value = firstLabel + i;
        const bool label = value % labelEvery == 0;
        grid->SetCellText(
            i, label ? QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')) : QString());
        if (label) {
            grid->SetCellFont(i, LabelFont());
        }
    }
    grid->SetRowHeight(grid->height() + 1);
}

// --- The day ---------------------------------------------------------------------------------

void MainWindow::ClearDay() {
    states_ = DayStates{};
}

void MainWindow::FillDay(QDate date) {
    ClearDay();
    PlaybackChannel* channel = app_.session.Channel();
    const std::vector<RecordingEntry> entries =
        channel != nullptr ? channel->recordings.Entries() : std::vector<RecordingEntry>{};
    if (channel != nullptr && date.isValid()) {
        states_ = FillDayStates(ToCivil(date), incidents_->Shifted(entries));
    }
    incidents_->ShowDay(date, entries);
    RecolourGrids();
    if (selectedHour_ >= 0) {
        GridRow* hours = selectedHour_ < hourGridLow_->ColumnCount() ? hourGridLow_ : hourGridHigh_;
        const int column = hours == hourGridLow_ ? selectedHour_ : selectedHour_ - kHoursPerDay / 2;
        (hours == hourGridLow_ ? hourGridHigh_ : hourGridLow_)->ClearSelection();
        hours->SelectCell(column);
    }
}

void MainWindow::MarkRecordingDays() {
    calendar_->ClearMarks();
    PlaybackChannel* channel = app_.session.Channel();
    if (channel == nullptr) {
        return;
    }
    for (const CivilDate& d : RecordingDays(incidents_->Shifted(channel->recordings.Entries()))) {
        calendar_->AddMark(QDate(d.year, d.month, d.day));
    }
}

bool MainWindow::SelectDayOfRecording(const std::string& path) {
    PlaybackChannel* channel = app_.session.Channel();
    if (channel == nullptr) {
        return false;
    }
    const int64_t start = channel->recordings.WithEntries([&path](const auto& entries) {
        for (const RecordingEntry& e : entries) {
            if (e.path == path) {
                return e.startTime;
            }
        }
        return int64_t{-1};
    });
    if (start < 0) {
        return false;
    }
    // Shown where the navigator shows it: on GPS time when the user chose that.
    const int64_t shown = start + incidents_->Shift();
    const CivilDate day = LocalDateOf(shown);
    selectedDate_ = QDate(day.year, day.month, day.day);
    calendar_->SetCurrentDate(selectedDate_);
    const std::time_t t = static_cast<std::time_t>(shown);
    std::tm local{};
    localtime_r(&t, &local);
    selectedHour_ = local.tm_hour;
    return true;
}

void MainWindow::RecolourGrids() {
    const int hour = selectedHour_;
    const auto colourMinutes = [&](GridRow* grid, int first) {
        for (int i = 0; i < grid->ColumnCount(); ++i) {
            const int minute = first + i;
            const int state = hour >= 0 && hour < kHoursPerDay && minute < kMinutesPerHour
                                  ? states_.minute[hour][minute]
                                  : kNoRecording;
            grid->SetCellColor(i, StateColour(state));
        }
    };
    const auto colourHours = [&](GridRow* grid, int first) {
        for (int i = 0; i < grid->ColumnCount(); ++i) {
            const int h = first + i;
            grid->SetCellColor(i, StateColour(h < kHoursPerDay ? states_.hour[h] : kNoRecording));
        }
    };
    colourMinutes(minuteGridLow_, 0);
    colourMinutes(minuteGridHigh_, kMinutesPerHour / 2);
    colourHours(hourGridLow_, 0);
    colourHours(hourGridHigh_, kHoursPerDay / 2);
    if (incidents_ != nullptr) {
        incidents_->Decorate();
    }
}

void MainWindow::OnGridClick(int controlId, int column) {
    if (column < 0) {
        return;
    }
    switch (controlId) {
        case kIdHourGridLow:
        case kIdHourGridHigh: {
            const bool high = controlId == kIdHourGridHigh;
            (high ? hourGridLow_ : hourGridHigh_)->ClearSelection();
            (high ? hourGridHigh_ : hourGridLow_)->SelectCell(column);
            selectedHour_ = column + (high ? kHoursPerDay / 2 : 0);
            RecolourGrids();
            break;
        }
        case kIdMinuteGridLow:
        case kIdMinuteGridHigh: {
            const bool high = controlId == kIdMinuteGridHigh;
            GridRow* grid = high ? minuteGridHigh_ : minuteGridLow_;
            (high ? minuteGridLow_ : minuteGridHigh_)->ClearSelection();
            grid->SelectCell(column);
            selectedMinute_ = column + (high ? kMinutesPerHour / 2 : 0);
            const QColor colour = grid->CellColor(column);
            if (colour == kGreen || colour == kRed) {
                PlayFromMinute();
            }
            break;
        }
        default:
            break;
    }
}

void MainWindow::PlayFromMinute() {
    PlaybackChannel* channel = app_.session.Channel();
    if (channel == nullptr || !selectedDate_.isValid() || selectedHour_ < 0) {
        return;
    }
    channel->PlayFromTime(incidents_->CardTime(
        LocalTimeOf(ToCivil(selectedDate_), selectedHour_, selectedMinute_, 0)));
}

// --- Windows ---------------------------------------------------------------------------------

void MainWindow::ShowVideoAndMap() {
    emptyHint_->hide();
    videoWindow_->show();
    map_->Widget()->show();
}

void MainWindow::HideVideoAndMap() {
    videoWindow_->Dock();
    videoWindow_->hide();
    map_->DockWindow();
    map_->Widget()->hide();
    emptyHint_->show();
}

void MainWindow::RaisePlaybackGeneration() {
    ++playbackGeneration_;
    if (playbackGeneration_ != map_->TrackId()) {
        map_->ResetTrack(playbackGeneration_);
    }
}

// --- Messages --------------------------------------------------------------------------------

ChannelLinks MainWindow::PlaybackLinks() {
    ChannelLinks links = sessionEvents_.Links();
    links.videoWindow = videoWindow_->VideoSurface();
    return links;
}

void MainWindow::OnOpened(const std::string& path) {
    setWindowTitle(
        QStringLiteral("%1 - Velmaro").arg(QFileInfo(QString::fromStdString(path)).fileName()));
    ShowVideoAndMap();
    RaisePlaybackGeneration();
    showDayOfOpened_ = true;
    timeStrip_->ClearMessage();  // whatever failed before, this one opened
}

void MainWindow::OnClosed() {
    setWindowTitle(QStringLiteral("Velmaro"));
    ClearDay();
    RecolourGrids();
    MarkRecordingDays();
    HideVideoAndMap();
}

// The list of a recording just opened: the navigator shows the day it was made.
void MainWindow::OnListReady() {
    const PlaybackChannel* channel = app_.session.Channel();
    if (showDayOfOpened_ && channel != nullptr && SelectDayOfRecording(channel->filePath)) {
        showDayOfOpened_ = false;
    }
    MarkRecordingDays();
    FillDay(SelectedDate());
}

void MainWindow::OnTelemetry(const GpsRecord& fix, const GSensorRecord&, bool hasFix) {
    if (hasFix) {
        map_->UpdatePosition(playbackGeneration_, fix);
    }
    routeSeeker_->Prefetch();
}

void MainWindow::OnReadingReset() {
    RaisePlaybackGeneration();
}

void MainWindow::OnDrivesArrived() {
    // A card replaces what plays, without a word; a stick without recordings changes nothing.
    if (!FindCardRecording().empty()) {
        playCtrl_->OpenSdCard(false);
    }
}

void MainWindow::OpenDropped(const QStringList& paths) {
    if (!paths.isEmpty() && !paths.front().isEmpty()) {
        playCtrl_->OpenRecording(paths.front());
    }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            paths.push_back(url.toLocalFile());
        }
    }
    OpenDropped(paths);
    event->acceptProposedAction();
}

// Esc belongs to the video and map windows (leave full screen, dock); the player closes by its
// close button or when the session ends it, never by Esc.
void MainWindow::reject() {}

// Closing ends the run: the floating windows come home first, so that nothing is left open
// to hold the application up (a floating window refuses to close: it docks instead).
void MainWindow::closeEvent(QCloseEvent* event) {
    videoWindow_->Dock();
    map_->DockWindow();
    event->accept();
}

// The player's keys work from every window of the player, the floating video included.
// One key of the player: what it is, what it does (a key of the language table) and its action.
struct PlayerKey {
    QKeySequence keys;
    const char* use;
    std::function<void()> act;
};

std::vector<PlayerKey> MainWindow::PlayerKeys() {
    return {
        {Qt::Key_Space, "Play or pause", [this] { playCtrl_->TogglePause(); }},
        {Qt::Key_Right, "NextFrame", [this] { playCtrl_->StepFrame(false); }},
        {Qt::Key_Left, "PreFrame", [this] { playCtrl_->StepFrame(true); }},
        {Qt::SHIFT | Qt::Key_Right, "Jump forward", [this] { playCtrl_->SeekBy(kSeekKeyStep); }},
        {Qt::SHIFT | Qt::Key_Left, "Jump back", [this] { playCtrl_->SeekBy(-kSeekKeyStep); }},
        {Qt::Key_Up, "Faster", [this] { playCtrl_->StepSpeed(1); }},
        {Qt::Key_Down, "Slower", [this] { playCtrl_->StepSpeed(-1); }},
        {Qt::Key_PageUp, "PrevFile", [this] { playCtrl_->PreviousFile(); }},
        {Qt::Key_PageDown, "NextFile", [this] { playCtrl_->NextFile(); }},
        {Qt::Key_S, "SnapShot", [this] { playCtrl_->Snapshot(); }},
        {Qt::Key_I, "Mark In", [this] { playCtrl_->MarkIn(); }},
        {Qt::Key_O, "Mark Out", [this] { playCtrl_->MarkOut(); }},
        {Qt::Key_L, "Loop the marked stretch", [this] { playCtrl_->ToggleLoop(); }},
        {Qt::Key_M, "Sound on or off", [this] { playCtrl_->ToggleMute(); }},
        {Qt::Key_F, "Full screen", [this] { ToggleVideoFullScreen(); }},
        {Qt::CTRL | Qt::Key_O, "Open File", [this] { playCtrl_->ChooseRecordingFile(); }},
        {Qt::CTRL | Qt::Key_E, "Backup", [this] { playCtrl_->ExportClip(); }},
        {Qt::CTRL | Qt::Key_S, "Save The Playing File", [this] { playCtrl_->SavePlayingFile(); }},
        {Qt::CTRL | Qt::Key_Comma, "Config", [this] { playCtrl_->runPreferences(); }},
        {Qt::CTRL | Qt::Key_Q, "Quit",
         [this] {
             close();
             QCoreApplication::quit();
         }},
        {Qt::Key_F1, "This list of keys", [this] { shortcutOverlay_->Toggle(); }},
    };
}

void MainWindow::BindKeysTo(QWidget* owner, Qt::ShortcutContext context) {
    for (PlayerKey& key : PlayerKeys()) {
        auto* shortcut = new QShortcut(key.keys, owner);
        shortcut->setContext(context);
        connect(shortcut, &QShortcut::activated, this, std::move(key.act));
    }
}

void MainWindow::BindKeys() {
    BindKeysTo(this, Qt::ApplicationShortcut);
    // Full screen hides this window, and with it every shortcut it owns: the full-screen
    // window carries the same keys, for as long as it is the one shown.
    videoWindow_->fullScreenWindowMade = [this](QWidget* window) {
        BindKeysTo(window, Qt::WindowShortcut);
    };
    std::vector<ShortcutOverlay::Entry> entries;
    for (const PlayerKey& key : PlayerKeys()) {
        entries.emplace_back(key.keys.toString(QKeySequence::NativeText), Text(key.use));
    }
    // Answered by the video and map windows themselves when they float or fill the screen.
    entries.emplace_back(QKeySequence(Qt::Key_Escape).toString(QKeySequence::NativeText),
                         Text("Back into the window"));
    shortcutOverlay_->SetEntries(std::move(entries));
}

void MainWindow::ToggleVideoFullScreen() {
    if (!videoWindow_->isVisible() && !videoWindow_->IsFullScreen()) {
        return;
    }
    videoWindow_->Float();
    videoWindow_->ToggleFullScreen();
}

}  // namespace velmaro
