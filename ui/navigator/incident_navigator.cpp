// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/navigator/incident_navigator.h"

#include <QTimer>
#include <algorithm>
#include <array>
#include <iterator>

#include "app/clock_check.h"
#include "controls/grid_row.h"
#include "controls/skin_slider_button.h"
#include "playback/playback_channel.h"
#include "ui/main/main_window.h"
#include "ui/navigator/clock_notice.h"
#include "ui/navigator/incident_list.h"
#include "ui/navigator/seek_marks.h"
#include "ui/panel/play_panel.h"

namespace velmaro {
namespace {

constexpr int kModes = 3;
constexpr int kPlayingPollMs = 500;
constexpr std::string_view kCardFolder = "/DCIM/";

// Between the video and the navigator's rows, clear of the calendar and the map.
constexpr std::array<std::array<int, 4>, kModes> kListRects = {{
    {236, 448, 255, 26},
    {314, 597, 600, 28},
    {373, 932, 680, 40},
}};
// Along the title row, right of the panel and left of the title buttons.
constexpr std::array<std::array<int, 4>, kModes> kNoticeRects = {{
    {210, 3, 670, 24},
    {280, 3, 920, 24},
    {320, 3, 1520, 24},
}};

QRect RectOf(const std::array<int, 4>& r) {
    return QRect(r[0], r[1], r[2], r[3]);
}

}  // namespace

IncidentNavigator::IncidentNavigator(MainWindow& window, PlaybackSession& session, double threshold)
    : QObject(&window),
      window_(window),
      session_(session),
      threshold_(UsableIncidentThreshold(threshold)) {
    list_ = new IncidentList(&window);
    list_->hide();
    connect(list_, &IncidentList::IncidentChosen, this,
            [this](int64_t cardTime) { PlayIncident(cardTime); });
    notice_ = new ClockNotice(&window);
    connect(notice_, &ClockNotice::ByGpsToggled, this, [this](bool byGps) { SetByGps(byGps); });
    playingPoll_ = new QTimer(this);
    connect(playingPoll_, &QTimer::timeout, this, [this] { RefreshSeekMarks(); });
    playingPoll_->start(kPlayingPollMs);
    scanner_ = std::make_unique<DayScanner>(
        [this](RecordingFindings f) {
            const uint64_t generation = generation_.load();
            QMetaObject::invokeMethod(
                this,
                [this, generation, f = std::move(f)]() mutable {
                    OnFindings(generation, std::move(f));
                },
                Qt::QueuedConnection);
        },
        [] {});
}

IncidentNavigator::~IncidentNavigator() {
    scanner_->Stop();
}

std::string IncidentNavigator::CardRootOf(const std::string& path) {
    const size_t at = path.rfind(kCardFolder);
    if (at != std::string::npos) {
        return path.substr(0, at + 1);
    }
    return path.substr(0, path.rfind('/') + 1);
}

void IncidentNavigator::ShowDay(QDate date, const std::vector<RecordingEntry>& entries) {
    const std::string root = entries.empty() ? std::string() : CardRootOf(entries.front().path);
    if (root != cardRoot_) {
        // Another card: what was found, and the clock shift, belong to the old one.
        cardRoot_ = root;
        findings_.clear();
        clockOffset_ = 0;
        byGps_ = false;
        notice_->hide();
    }
    day_ = date;
    dayEntries_ = date.isValid() ? EntriesShownOn(date, entries) : std::vector<RecordingEntry>{};
    std::vector<RecordingEntry> unread;
    for (const RecordingEntry& e : dayEntries_) {
        const auto known = findings_.find(e.path);
        if (known == findings_.end() || known->second.entry.endTime != e.endTime) {
            unread.push_back(e);
        }
    }
    // The scanner's thread reads generation_ only through the copy taken at each report; a
    // new generation is set while no scan runs.
    scanner_->Stop();
    ++generation_;
    if (!unread.empty()) {
        scanner_->Start(std::move(unread), threshold_);
    }
    RefreshList();
    RefreshSeekMarks();
}

void IncidentNavigator::OnFindings(uint64_t generation, RecordingFindings findings) {
    if (generation != generation_ || CardRootOf(findings.entry.path) != cardRoot_) {
        return;
    }
    const std::string path = findings.entry.path;
    findings_[path] = std::move(findings);
    CheckClock(findings_[path]);
    Decorate();
    RefreshList();
    RefreshSeekMarks();
}

void IncidentNavigator::CheckClock(const RecordingFindings& findings) {
    if (!findings.clockOffset || toldRoots_.count(cardRoot_) != 0) {
        return;
    }
    const std::optional<int64_t> offset = NoticeableClockOffset(*findings.clockOffset);
    if (!offset) {
        return;
    }
    toldRoots_.insert(cardRoot_);
    clockOffset_ = *offset;
    notice_->ShowOffset(QString::fromStdString(DescribeClockOffset(*offset)), byGps_);
}

void IncidentNavigator::SetByGps(bool byGps) {
    if (byGps_ == byGps) {
        return;
    }
    byGps_ = byGps;
    notice_->SetByGps(byGps);
    Refill();
}

// The window recomputes the calendar marks and the rows from the shifted list, and calls back
// Decorate.
void IncidentNavigator::Refill() {
    window_.MarkRecordingDays();
    window_.FillDay(window_.SelectedDate());
}

// The recordings the day shows, chosen on the shown (perhaps GPS) times but kept on the camera's
// clock, as the scan and the incident times count.
std::vector<RecordingEntry> IncidentNavigator::EntriesShownOn(
    QDate date, const std::vector<RecordingEntry>& entries) const {
    std::set<std::string> shown;
    for (const RecordingEntry& e :
         EntriesOfDay({date.year(), date.month(), date.day()}, Shifted(entries))) {
        shown.insert(e.path);
    }
    std::vector<RecordingEntry> day;
    std::copy_if(entries.begin(), entries.end(), std::back_inserter(day),
                 [&](const RecordingEntry& e) { return shown.count(e.path) != 0; });
    return day;
}

std::vector<RecordingEntry> IncidentNavigator::Shifted(std::vector<RecordingEntry> entries) const {
    const int64_t shift = Shift();
    for (RecordingEntry& e : entries) {
        e.startTime += shift;
        e.endTime += shift;
    }
    return entries;
}

void IncidentNavigator::Decorate() {
    if (session_.Channel() == nullptr) {
        // Stopped: the rows are grey and nothing is listed until a card is open again.
        findings_.clear();
        dayEntries_.clear();
        list_->hide();
    }
    const QDate date = window_.SelectedDate();
    const int hour = window_.SelectedHour();
    std::array<bool, kMinutesPerHour> marked{};
    std::vector<RecordingEntry> damaged;
    for (const auto& [path, f] : findings_) {
        if (f.damaged) {
            damaged.push_back(f.entry);
        }
        for (const Incident& incident : f.incidents) {
            const int64_t shown = IncidentTime(f.entry, incident) + Shift();
            const CivilDate day = LocalDateOf(shown);
            if (day == CivilDate{date.year(), date.month(), date.day()}) {
                const int64_t into = shown - LocalTimeOf(day, hour < 0 ? 0 : hour, 0, 0);
                if (hour >= 0 && into >= 0 && into < kMinutesPerHour * 60) {
                    marked[static_cast<size_t>(into / 60)] = true;
                }
            }
        }
    }
    DayStates shade;
    if (date.isValid() && !damaged.empty()) {
        shade = FillDayStates({date.year(), date.month(), date.day()}, Shifted(damaged));
    }
    const auto decorate = [&](GridRow* grid, int first) {
        for (int i = 0; i < grid->ColumnCount(); ++i) {
            const int minute = first + i;
            const bool inHour = hour >= 0 && hour < kHoursPerDay && minute < kMinutesPerHour;
            grid->SetCellMark(i, inHour && marked[static_cast<size_t>(minute)]);
            grid->SetCellShade(i, inHour && shade.minute[hour][minute] != kNoRecording);
        }
    };
    decorate(window_.Grid(MainWindow::kIdMinuteGridLow), 0);
    decorate(window_.Grid(MainWindow::kIdMinuteGridHigh), kMinutesPerHour / 2);
}

void IncidentNavigator::RefreshList() {
    std::vector<IncidentListItem> items;
    for (const RecordingEntry& e : dayEntries_) {
        const auto known = findings_.find(e.path);
        if (known == findings_.end()) {
            continue;
        }
        for (const Incident& incident : known->second.incidents) {
            const int64_t at = IncidentTime(known->second.entry, incident);
            items.push_back({at + Shift(), at, incident.deltaG});
        }
    }
    list_->SetIncidents(std::move(items));
    list_->setVisible(!list_->Incidents().empty());
}

void IncidentNavigator::RefreshSeekMarks() {
    PlayPanel* panel = window_.PlayCtrl();
    PlaybackChannel* channel = session_.Channel();
    if (seekMarks_ == nullptr && panel != nullptr) {
        seekMarks_ = new SeekMarks(panel->Slider(PlayPanel::kIdSeek));
    }
    if (seekMarks_ == nullptr) {
        return;
    }
    std::vector<int> marks;
    if (channel != nullptr) {
        const auto known = findings_.find(channel->reader.CurrentPath());
        if (known != findings_.end()) {
            for (const Incident& incident : known->second.incidents) {
                marks.push_back(IncidentPerMille(known->second, incident));
            }
        }
    }
    if (marks != seekMarks_->Marks()) {
        seekMarks_->SetMarks(std::move(marks));
    }
}

void IncidentNavigator::PlayIncident(int64_t cardTime) {
    if (PlaybackChannel* channel = session_.Channel()) {
        channel->PlayFromTime(cardTime - kLeadSeconds);
    }
}

SeekMarks* IncidentNavigator::Marks() const {
    return seekMarks_.data();
}

const RecordingFindings* IncidentNavigator::FindingsOf(const std::string& path) const {
    const auto known = findings_.find(path);
    return known == findings_.end() ? nullptr : &known->second;
}

void IncidentNavigator::LayOut(int uiMode) {
    const int mode = uiMode < 0 ? 0 : (uiMode >= kModes ? kModes - 1 : uiMode);
    list_->setGeometry(RectOf(kListRects[static_cast<size_t>(mode)]));
    notice_->setGeometry(RectOf(kNoticeRects[static_cast<size_t>(mode)]));
}

}  // namespace velmaro
