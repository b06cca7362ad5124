// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The one place where the engine's messages become calls on the user-interface thread: the
// channel's two sinks, queued onto the receiver's thread, handing every message to the session,
// which calls its listeners with typed values; and the poster its exports' workers end through.
#pragma once

#include "platform/task_poster.h"
#include "playback/playback_session.h"
#include "ui/main/qt_message_sink.h"

class QObject;

namespace velmaro {

class SessionAdapter : public TaskPoster {
  public:
    // `receiver` gives the thread and lifetime: nothing is delivered after it is destroyed.
    SessionAdapter(QObject* receiver, PlaybackSession& session);
    ~SessionAdapter() override;
    SessionAdapter(const SessionAdapter&) = delete;
    SessionAdapter& operator=(const SessionAdapter&) = delete;

    // Links whose messages come back through here; the caller fills in the rest.
    ChannelLinks Links();

    void Post(std::function<void()> task) override;

  private:
    QObject* receiver_;
    PlaybackSession& session_;
    QtMessageSink listSink_;    // positions and the recording list
    QtMessageSink readerSink_;  // telemetry notices and resets (sent, awaited)
};

}  // namespace velmaro
