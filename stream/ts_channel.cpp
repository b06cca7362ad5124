#include "stream/ts_channel.h"

#include <strings.h>

#include "platform/message_sink.h"
#include "stream/recording_files.h"

namespace velmaro {
namespace {

constexpr int64_t kPerMille = 1000;

// Speed control position -> play mode: slower modes 10..7 below the middle, faster 1..5 above.
int32_t PlayModeForSpeed(int position) {
    return position < kNormalSpeedPosition ? 10 - position : position - 3;
}

}  // namespace

CTSChn::CTSChn(const ChannelLinks& links)
    : video(&state),
      audio(&state),
      recordings(links.panel),
      reader(MakeReaderLinks(state, links)),
      links_(links) {
    state.videoWindow = links.videoWindow;
    state.displayMode = links.displayMode;
    state.decoderThreads = links.decoderThreads;
    state.soundAmplification = links.soundAmplification;
    state.audioQueue.maxItems = kAudioQueueMaxItems;
}

CTSChn::~CTSChn() {
    StopAll();
}

ReaderLinks CTSChn::MakeReaderLinks(ChannelState& state, const ChannelLinks& links) {
    ReaderLinks r;
    r.controls = &state;
    r.videoQueue = &state.videoQueue;
    r.audioQueue = &state.audioQueue;
    r.telemetry = links.telemetry;
    r.panel = links.panel;
    r.mainWindow = links.mainWindow;
    return r;
}

bool CTSChn::Open(const std::vector<RecordingEntry>* list) {
    state.videoQueue.SetKeyCount(0);
    const bool ready =
        state.videoQueue.Init(kVideoQueueStorage, kVideoQueueMaxItem, kQueueBlocking) &&
        state.audioQueue.Init(kAudioQueueStorage, kAudioQueueMaxItem, kQueueBlocking) &&
        video.Start() && audio.Start();
    if (!ready) {
        StopAll();
        return false;
    }
    if (list == nullptr) {
        recordings.Load(filePath);
    } else {
        recordings.Append(*list);
        if (links_.panel) {
            links_.panel->Post(kMsgReset, 0, 0);
        }
    }
    reader.SetPath(filePath);
    return reader.Start();
}

void CTSChn::StopAll() {
    state.videoQueue.Stop();
    state.audioQueue.Stop();
    reader.Stop();
    video.Stop(kChannelWorkerTimeoutMs);
    audio.Stop(kChannelWorkerTimeoutMs);
}

int32_t CTSChn::Seek(int32_t perMille) {
    reader.seekRequest = perMille > 0 ? perMille * reader.FileSize() / kPerMille : perMille;
    if (perMille != 0) {
        // What is queued belongs to the old place: it leaves now, which also frees a reader
        // waiting in a full queue, and the video worker's pacing wait for an old frame ends,
        // so the new place is shown as soon as its first picture is decoded.
        state.videoQueue.Clear();
        state.audioQueue.Clear();
        state.clock.Wake();
    }
    reader.Wake();
    return perMille;
}

void CTSChn::JumpToTime(int64_t time) {
    const std::string target = recordings.WithEntries([time](const auto& entries) {
        for (const RecordingEntry& e : entries) {
            if (e.endTime > time) {
                return e.path;
            }
        }
        return std::string();
    });
    if (!target.empty() && strcasecmp(target.c_str(), reader.CurrentPath().c_str()) != 0) {
        reader.RequestOpen(target);
    }
}

void CTSChn::RequestSnapshot(const std::string& path) {
    state.RequestSnapshot(path);
}

void CTSChn::MarkIn() {
    std::lock_guard lock(marksMutex_);
    markIn_.path = reader.CurrentPath();
    markIn_.number = RecordingNumber(markIn_.path);
    markIn_.position = reader.Position();
    markOut_.number = -1;
    markOut_.position = -1;
}

void CTSChn::MarkOut() {
    std::lock_guard lock(marksMutex_);
    markOut_.path = reader.CurrentPath();
    markOut_.number = RecordingNumber(markOut_.path);
    markOut_.position = reader.Position();
}

ClipMark CTSChn::MarkInPoint() const {
    std::lock_guard lock(marksMutex_);
    return markIn_;
}

ClipMark CTSChn::MarkOutPoint() const {
    std::lock_guard lock(marksMutex_);
    return markOut_;
}

void CTSChn::Play() {
    reader.SetDirection(false);
    state.paused = 0;
    state.playMode = kPlayNormal;
    state.audioEnabled = true;
}

void CTSChn::PlayBackward() {
    reader.SetDirection(true);
    state.paused = 0;
    state.playMode = kPlayBackward;
}

void CTSChn::Pause() {
    state.paused = 1;
}

void CTSChn::Step(bool backward) {
    reader.SetDirection(backward);
    state.paused = 0;
    state.playMode = kPlayStep;
}

void CTSChn::SetSpeed(int position) {
    if (position < 0 || position >= kSpeedPositions) {
        return;
    }
    state.playMode = PlayModeForSpeed(position);
    state.audioEnabled = position == kNormalSpeedPosition;
}

void CTSChn::PreviousRecording() {
    reader.seekRequest = kSeekPreviousRecording;
}

void CTSChn::NextRecording() {
    reader.seekRequest = kSeekNextRecording;
}

}  // namespace velmaro
