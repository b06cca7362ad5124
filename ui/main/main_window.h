// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// MainWindow: the player's one top-level window, frameless and skinned, in the pixel size of
// the UI mode. It places the play control panel down the left, the video window in the large
// area, the map in the lower right, and below the video the recording navigator: a month
// calendar marking the days with recordings and four one-row grids colouring the hours and
// minutes of the chosen day (grey none, green recorded, red flagged). It takes the reader's
// telemetry and reset messages, dropped files and camera cards that appear.
#pragma once

#include <QDate>
#include <QRect>
#include <memory>
#include <vector>

#include "app/recording_day.h"
#include "controls/skin_dialog.h"
#include "playback/playback_listener.h"
#include "ui/main/session_adapter.h"

class QLabel;

namespace velmaro {

class VideoWindow;
class MonthCalendar;
class PlayPanel;
struct AppShared;
class SkinButton;
class DriveArrivalWatcher;
class GridRow;
class IncidentNavigator;
class MapPort;
class RouteSeeker;

class EmptyHint;
struct PlayerKey;
class TimeStrip;
class ShortcutOverlay;
class TimeStripFeed;

class MainWindow : public SkinDialog, public PlaybackListener {
    Q_OBJECT

  public:
    enum ControlId : int {
        kIdClose = 1008,
        kIdMaximize = 1009,
        kIdMinimize = 1010,
        kIdMinuteGridLow = 1019,
        kIdHourGridLow = 1020,
        kIdCalendar = 1021,
        kIdMinuteGridHigh = 1022,
        kIdHourGridHigh = 1023,
    };
    enum class Element {
        kClose,
        kMinimize,
        kVideo,
        kPanel,
        kMap,
        kMinuteGridLow,
        kMinuteGridHigh,
        kHourGridLow,
        kHourGridHigh,
        kCalendar,
        kTimeStrip,
    };

    // The window's size and where each element goes in a UI mode (0, 1, 2); an empty
    // rectangle for an element the mode hides.
    static QSize WindowSize(int uiMode);
    static QRect ElementRect(int uiMode, Element element);

    // `uiMode` from the settings. The card watcher is started by Start().
    MainWindow(AppShared& app, int uiMode);
    ~MainWindow() override;

    // Opens the command-line file, else the card silently, and starts watching for cards.
    void Start();
    // Runs the card setup dialog modally (the panel's "SD Card Setup").
    void RunCardSetup();

    int UiMode() const { return uiMode_; }
    PlayPanel* PlayCtrl() const { return playCtrl_; }
    EmptyHint* Hint() const { return emptyHint_; }
    TimeStrip* Strip() const { return timeStrip_; }
    ShortcutOverlay* Keys() const { return shortcutOverlay_; }
    TimeStripFeed* StripFeed() const { return timeStripFeed_; }
    QLabel* PlaybackNote() const { return playbackNote_; }
    VideoWindow* Video() const { return videoWindow_; }
    MapPort* Map() const { return map_; }
    MonthCalendar* Calendar() const { return calendar_; }
    GridRow* Grid(int controlId) const;
    SkinButton* TitleButton(int controlId) const;
    // What a recording opened for this window plays with: the session's messages come back
    // to the user-interface thread, the pictures go to the video window.
    ChannelLinks PlaybackLinks();
    IncidentNavigator* Incidents() const { return incidents_; }
    RouteSeeker* RouteSeek() const { return routeSeeker_; }

    int PlaybackGeneration() const { return playbackGeneration_; }
    // A new track: the generation goes up and the map forgets the old track.
    void RaisePlaybackGeneration();

    void ShowVideoAndMap();
    void HideVideoAndMap();

    // The recording navigator.
    void ClearDay();
    void FillDay(QDate date);
    void MarkRecordingDays();
    void RecolourGrids();
    // Shows the day and hour of `path` (a recording of the open list), as when it was opened.
    // False when the list does not hold it (yet).
    bool SelectDayOfRecording(const std::string& path);
    QDate SelectedDate() const { return selectedDate_; }
    int SelectedHour() const { return selectedHour_; }
    int SelectedMinute() const { return selectedMinute_; }
    const DayStates& States() const { return states_; }

    // A click in a grid: `controlId` of the grid and the column (negative for no cell).
    void OnGridClick(int controlId, int column);
    // The camera cards of `roots` appeared: a recording on one of them replaces what plays.
    void OnDrivesArrived();
    // Files dropped on the window: the first is opened.
    void OpenDropped(const QStringList& paths);
    void ToggleMaximize();

    // The session's events the window shows: the video and map, the navigator, the route.
    void OnOpened(const std::string& path) override;
    void OnClosed() override;
    void OnListReady() override;
    void OnTelemetry(const GpsRecord& fix, const GSensorRecord& g, bool hasFix) override;
    void OnReadingReset() override;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void CreateTitleButtons();
    void CreateNavigator();
    void LayOut();
    void BuildGrids();
    void BuildGrid(GridRow* grid, int columns, int labelEvery, int firstLabel);
    void PlayFromMinute();
    void BindKeys();
    std::vector<PlayerKey> PlayerKeys();
    void BindKeysTo(QWidget* owner, Qt::ShortcutContext context);
    void ToggleVideoFullScreen();

    AppShared& app_;
    const int uiMode_;
    SessionAdapter sessionEvents_;  // the session's messages, back on this thread
    bool showDayOfOpened_ = false;  // the next recording list shows the opened one's day
    int playbackGeneration_ = 1;
    bool layoutReady_ = false;
    DayStates states_;
    QDate selectedDate_;
    int selectedHour_ = -1;
    int selectedMinute_ = -1;
    bool maximized_ = false;

    VideoWindow* videoWindow_ = nullptr;  // children
    MapPort* map_ = nullptr;
    PlayPanel* playCtrl_ = nullptr;
    SkinButton* closeButton_ = nullptr;
    SkinButton* minimizeButton_ = nullptr;
    QLabel* playbackNote_ = nullptr;  // in the title bar: what playback had to leave out
    EmptyHint* emptyHint_ = nullptr;  // in the video's place while no recording is open
    TimeStrip* timeStrip_ = nullptr;  // under the video
    TimeStripFeed* timeStripFeed_ = nullptr;
    ShortcutOverlay* shortcutOverlay_ = nullptr;  // over the video, F1
    SkinButton* maximizeButton_ = nullptr;
    GridRow* minuteGridLow_ = nullptr;
    GridRow* minuteGridHigh_ = nullptr;
    GridRow* hourGridLow_ = nullptr;
    GridRow* hourGridHigh_ = nullptr;
    MonthCalendar* calendar_ = nullptr;
    std::unique_ptr<DriveArrivalWatcher> cardWatcher_;
    IncidentNavigator* incidents_ = nullptr;  // child; incidents, damage and the camera clock
    RouteSeeker* routeSeeker_ = nullptr;      // child; clicks on the map's route
};

}  // namespace velmaro
