// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the time strip on the picture on screen: a few times a second it asks the channel
// which picture is shown and how it plays. The times of a file (its first and last pictures,
// its file time) are read off the GUI thread once per file.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <future>
#include <string>

#include "stream/recording_times.h"

namespace velmaro {

class PlaybackSession;
class TimeStrip;

class TimeStripFeed : public QObject {
    Q_OBJECT

  public:
    static constexpr int kRefreshMs = 200;

    // `clockShift`: seconds added to camera times (the GPS time when the user chose it).
    TimeStripFeed(TimeStrip& strip, PlaybackSession& session, std::function<int64_t()> clockShift,
                  QObject* parent);
    ~TimeStripFeed() override;

    // Whether the A-B loop is on, asked with every refresh.
    void SetLoopQuery(std::function<bool()> looping) { looping_ = std::move(looping); }
    // Brings the strip up to date now (the timer does it on its own).
    void Refresh();

  private:
    const RecordingTimes* TimesOf(const std::string& path);

    TimeStrip& strip_;
    PlaybackSession& session_;
    std::function<int64_t()> clockShift_;
    std::function<bool()> looping_;
    QTimer timer_;
    std::string timesPath_;  // the file `times_` (or the reading under way) is for
    RecordingTimes times_;
    bool timesReady_ = false;
    std::future<RecordingTimes> reading_;
};

}  // namespace velmaro
