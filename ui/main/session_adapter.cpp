#include "ui/main/session_adapter.h"

namespace velmaro {

SessionAdapter::SessionAdapter(QObject* receiver, PlaybackSession& session)
    : listSink_(receiver,
                [&session](uint32_t msg, intptr_t w, intptr_t) {
                    session.Deliver(PlaybackSession::Route::kList, msg, w);
                }),
      readerSink_(receiver, [&session](uint32_t msg, intptr_t w, intptr_t) {
          session.Deliver(PlaybackSession::Route::kReader, msg, w);
      }) {}

ChannelLinks SessionAdapter::Links() {
    ChannelLinks links;
    links.panel = &listSink_;
    links.mainWindow = &readerSink_;
    return links;
}

}  // namespace velmaro
