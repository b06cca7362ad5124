// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/session_adapter.h"

#include <QMetaObject>
#include <QObject>

namespace velmaro {

SessionAdapter::SessionAdapter(QObject* receiver, PlaybackSession& session)
    : receiver_(receiver),
      session_(session),
      listSink_(receiver,
                [&session](uint32_t msg, intptr_t w, intptr_t) {
                    session.Deliver(PlaybackSession::Route::kList, msg, w);
                }),
      readerSink_(receiver, [&session](uint32_t msg, intptr_t w, intptr_t) {
          session.Deliver(PlaybackSession::Route::kReader, msg, w);
      }) {
    session_.Exports().SetPoster(this);
}

SessionAdapter::~SessionAdapter() {
    session_.Exports().SetPoster(nullptr);
}

void SessionAdapter::Post(std::function<void()> task) {
    QMetaObject::invokeMethod(receiver_, std::move(task), Qt::QueuedConnection);
}

ChannelLinks SessionAdapter::Links() {
    ChannelLinks links;
    links.panel = &listSink_;
    links.mainWindow = &readerSink_;
    return links;
}

}  // namespace velmaro
