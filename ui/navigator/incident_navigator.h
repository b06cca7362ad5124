// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The navigator's extras for the chosen day: its recordings are read once in the background
// (never on the GUI thread) for G-sensor incidents, damage and the camera's clock; incidents are
// marked on the minute rows, on the seek bar of the file playing and listed below the video;
// damaged recordings shade their minutes; a camera clock more than 90 s off GPS time is told
// once per card, with the offer to show the navigator's times by GPS. Nothing is written to
// the card.
#pragma once

#include <QDate>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/day_scan.h"

class QTimer;

namespace velmaro {

class MainWindow;
class PlaybackSession;
class ClockNotice;
class IncidentList;
class SeekMarks;

class IncidentNavigator : public QObject {
    Q_OBJECT

  public:
    // Seconds played before an incident when it is chosen.
    static constexpr int64_t kLeadSeconds = 5;

    IncidentNavigator(MainWindow& window, PlaybackSession& session, double threshold);
    ~IncidentNavigator() override;

    // The day shown changed (or its list): a new card forgets what was found; recordings not
    // yet read are read, any older reading is cancelled.
    void ShowDay(QDate date, const std::vector<RecordingEntry>& entries);
    // Marks and shades on the minute rows for the window's selected day and hour.
    void Decorate();
    void LayOut(int uiMode);

    // What the navigator shows for a moment of the card, and back: shifted by GPS when chosen.
    int64_t Shift() const { return byGps_ ? -clockOffset_ : 0; }
    std::vector<RecordingEntry> Shifted(std::vector<RecordingEntry> entries) const;
    int64_t CardTime(int64_t shown) const { return shown - Shift(); }
    void SetByGps(bool byGps);

    // Plays from a little before `cardTime`.
    void PlayIncident(int64_t cardTime);

    // For tests and the window.
    IncidentList* List() const { return list_; }
    SeekMarks* Marks() const;
    ClockNotice* Notice() const { return notice_; }
    bool Scanning() const { return scanner_ && scanner_->Running(); }
    size_t FindingsKnown() const { return findings_.size(); }
    const RecordingFindings* FindingsOf(const std::string& path) const;
    bool ByGps() const { return byGps_; }

  private:
    void OnFindings(uint64_t generation, RecordingFindings findings);
    void CheckClock(const RecordingFindings& findings);
    void RefreshList();
    void RefreshSeekMarks();
    void Refill();
    std::vector<RecordingEntry> EntriesShownOn(QDate date,
                                               const std::vector<RecordingEntry>& entries) const;
    static std::string CardRootOf(const std::string& path);

    MainWindow& window_;
    PlaybackSession& session_;
    const double threshold_;
    IncidentList* list_ = nullptr;  // children of the window
    ClockNotice* notice_ = nullptr;
    QPointer<SeekMarks> seekMarks_;  // child of the seek slider, which may go first
    QTimer* playingPoll_ = nullptr;
    std::string cardRoot_;
    std::set<std::string> toldRoots_;                    // cards whose clock was told about
    std::map<std::string, RecordingFindings> findings_;  // by path, of the card shown
    std::vector<RecordingEntry> dayEntries_;
    QDate day_;
    std::string playingPath_;
    int64_t clockOffset_ = 0;  // of the card shown, camera minus GPS
    bool byGps_ = false;
    // Raised by the GUI thread while no scan runs; read by the scan when it reports. Results of
    // an older generation are dropped.
    std::atomic<uint64_t> generation_{0};
    std::unique_ptr<DayScanner> scanner_;  // last: stopped before anything it reports to goes
};

}  // namespace velmaro
