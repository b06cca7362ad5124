// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/playback_channel.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>

#include "platform/message_sink.h"
#include "stream/group_bounds.h"
#include "stream/recording_files.h"

namespace velmaro {
namespace {

constexpr int64_t kPerMille = 1000;
// The export copies whole blocks of this size; a mark-out past the block holding a group's
// last packet keeps that block.
constexpr int64_t kClipBlock = kReadBlockSize;

int64_t PastBlockHolding(int64_t lastByte) {
    return lastByte / kClipBlock * kClipBlock + kClipBlock + 1;
}

// Speed control position -> play mode: slower modes 10..7 below the middle, faster 1..5 above.
int32_t PlayModeForSpeed(int position) {
    return position < kNormalSpeedPosition ? 10 - position : position - 3;
}

}  // namespace

PlaybackChannel::PlaybackChannel(const ChannelLinks& links)
    : video(&state),
      audio(&state),
      recordings(links.panel),
      reader(MakeReaderLinks(state, links)),
      links_(links) {
    state.videoWindow = links.videoWindow;
    state.displayMode = links.displayMode;
    state.decoderThreads = links.decoderThreads;
    state.soundAmplification.store(links.soundAmplification);
    audio.SetSoundVolume(links.volume);
    state.audioQueue.maxItems = kAudioQueueMaxItems;
}

PlaybackChannel::~PlaybackChannel() {
    StopAll();
}

ReaderLinks PlaybackChannel::MakeReaderLinks(ChannelState& state, const ChannelLinks& links) {
    ReaderLinks r;
    r.controls = &state;
    r.videoQueue = &state.videoQueue;
    r.audioQueue = &state.audioQueue;
    r.telemetry = links.telemetry;
    r.panel = links.panel;
    r.mainWindow = links.mainWindow;
    return r;
}

bool PlaybackChannel::Open(const std::vector<RecordingEntry>* list) {
    const bool ready = OpenFrameQueues(state.videoQueue, state.audioQueue, kQueueBlocking) &&
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

void PlaybackChannel::StopAll() {
    state.videoQueue.Stop();
    state.audioQueue.Stop();
    reader.Stop();
    video.Stop(kChannelWorkerTimeoutMs);
    audio.Stop(kChannelWorkerTimeoutMs);
}

int32_t PlaybackChannel::Seek(int32_t perMille) {
    perMille = std::clamp<int32_t>(perMille, 0, kPerMille);
    SeekToByte(perMille * reader.FileSize() / kPerMille);
    return perMille;
}

void PlaybackChannel::PlayFromMark(const ClipMark& mark) {
    if (mark.path.empty() || mark.position < 0) {
        return;
    }
    if (strcasecmp(mark.path.c_str(), reader.CurrentPath().c_str()) == 0) {
        SeekToByte(mark.position);
        return;
    }
    // Another file opens at the mark's share of its size (the reader knows only the size of
    // the file it has open).
    struct stat st {};
    const int64_t size = ::stat(mark.path.c_str(), &st) == 0 ? st.st_size : 0;
    const auto perMille = static_cast<int32_t>(
        size > 0 ? std::clamp<int64_t>(mark.position * kPerMille / size, 0, kPerMille - 1) : 0);
    state.SetSkipThrough({});
    reader.RequestOpen(mark.path, perMille);
}

void PlaybackChannel::SeekToByte(int64_t position) {
    reader.seeks.Post(SeekRequest::To(position));
    state.SetSkipThrough({});
    state.readerIdle.store(false);
    // What is queued belongs to the old place: it leaves now, which also frees a reader
    // waiting in a full queue, and the video worker's pacing wait for an old frame ends,
    // so the new place is shown as soon as its first picture is decoded.
    state.videoQueue.Clear();
    state.audioQueue.Clear();
    state.clock.Wake();
    reader.Wake();
}

void PlaybackChannel::JumpToTime(int64_t time) {
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

void PlaybackChannel::PlayFromTime(int64_t time) {
    const std::optional<RecordingMoment> moment = recordings.WithEntries(
        [time](const auto& entries) { return FindRecordingMoment(entries, time); });
    if (!moment) {
        return;
    }
    if (strcasecmp(moment->path.c_str(), reader.CurrentPath().c_str()) == 0) {
        Seek(moment->perMille);
        return;
    }
    state.SetSkipThrough({});
    reader.RequestOpen(moment->path, moment->perMille);
}

void PlaybackChannel::RequestSnapshot(const SnapshotRequest& request) {
    state.RequestSnapshot(request);
}

std::string PlaybackChannel::ShownFilePath() const {
    const ShownPicture shown = state.Shown();
    const std::string path = shown.valid ? reader.PathOfSerial(shown.fileSerial) : std::string();
    return path.empty() ? reader.CurrentPath() : path;
}

// The picture on screen in its file: a mark-in at its group's key frame, a mark-out past the
// end of its group. False when no picture has been shown or its file is no longer known.
bool PlaybackChannel::MarkAtPicture(ClipMark& mark, bool groupEnd) const {
    const ShownPicture shown = state.Shown();
    if (!shown.valid || shown.filePos < 0 || shown.groupPos < 0) {
        return false;
    }
    const std::string path = reader.PathOfSerial(shown.fileSerial);
    if (path.empty()) {
        return false;
    }
    int64_t position = shown.groupPos;
    if (groupEnd) {
        const int64_t end =
            FindGroupEnd(path, reader.VideoPidSeen(), shown.filePos, reader.VideoCodecSeen());
        if (end < 0) {
            return false;
        }
        position = PastBlockHolding(end > shown.filePos ? end - 1 : shown.filePos);
    }
    mark.path = path;
    mark.number = RecordingNumber(path);
    mark.position = position;
    return true;
}

// Before the first picture: where the reader is, as a rough place.
void PlaybackChannel::MarkAtReader(ClipMark& mark) const {
    mark.path = reader.CurrentPath();
    mark.number = RecordingNumber(mark.path);
    mark.position = reader.Position();
}

void PlaybackChannel::MarkIn() {
    ClipMark mark;
    if (!MarkAtPicture(mark, false)) {
        MarkAtReader(mark);
    }
    std::lock_guard lock(marksMutex_);
    markIn_ = mark;
    markOut_.number = -1;
    markOut_.position = -1;
}

void PlaybackChannel::MarkOut() {
    ClipMark mark;
    if (!MarkAtPicture(mark, true)) {
        MarkAtReader(mark);
    }
    std::lock_guard lock(marksMutex_);
    markOut_ = mark;
}

ClipMark PlaybackChannel::MarkInPoint() const {
    std::lock_guard lock(marksMutex_);
    return markIn_;
}

ClipMark PlaybackChannel::MarkOutPoint() const {
    std::lock_guard lock(marksMutex_);
    return markOut_;
}

// The other direction goes on from the picture on screen: forward from its group's key frame,
// with the pictures up to it decoded but not shown; backward with the pictures before it.
void PlaybackChannel::ChangeDirection(bool backward) {
    if (reader.DirectionAskedFor() == backward) {
        return;
    }
    reader.SetDirection(backward, GoOnFromPicture(state.Shown(), !backward));
}

// The picture on screen as the place the reader goes on from; the pictures on its side of it
// are decoded but not shown. Invalid, and nothing skipped, without such a picture.
ResumePoint PlaybackChannel::GoOnFromPicture(const ShownPicture& shown, bool forward) {
    const ResumePoint from =
        shown.valid ? ResumePoint{shown.fileSerial, shown.filePos, shown.groupPos, shown.pts}
                    : ResumePoint{};
    state.SetSkipThrough(from.Valid() ? SkipThrough{true, shown.fileSerial, shown.pts, !forward}
                                      : SkipThrough{});
    return from;
}

void PlaybackChannel::Play() {
    ChangeDirection(false);
    state.paused = 0;
    state.playMode = kPlayNormal;
    state.audioEnabled = true;
}

void PlaybackChannel::PlayBackward() {
    ChangeDirection(true);
    state.paused = 0;
    state.playMode = kPlayBackward;
}

void PlaybackChannel::Pause() {
    state.paused = 1;
}

void PlaybackChannel::Step(bool backward) {
    ChangeDirection(backward);
    state.paused = 0;
    state.playMode = kPlayStep;
}

void PlaybackChannel::SetSpeed(int position) {
    if (position < 0 || position >= kSpeedPositions) {
        return;
    }
    const int32_t before = state.playMode.load();
    state.playMode = PlayModeForSpeed(position);
    state.audioEnabled = position == kNormalSpeedPosition;
    // Slower and faster play queue no sound and read ahead of the picture; back at normal
    // speed, reading starts again at the picture on screen so that its sound comes with it.
    const bool fromOtherSpeed = before != kPlayNormal && before != kPlayHeld && before != kPlayStep;
    if (position == kNormalSpeedPosition && fromOtherSpeed && !reader.DirectionAskedFor()) {
        RestartAtPicture();
    }
}

void PlaybackChannel::RestartAtPicture() {
    const ShownPicture shown = state.Shown();
    if (!shown.forward) {
        return;
    }
    const ResumePoint from = GoOnFromPicture(shown, true);
    if (from.Valid()) {
        reader.Restart(from);
    }
}

void PlaybackChannel::SetSoundAmplification(double factor) {
    state.soundAmplification.store(factor);
}

void PlaybackChannel::SetVolume(SoundVolume volume) {
    audio.SetSoundVolume(volume);
}

void PlaybackChannel::PreviousRecording() {
    reader.seeks.Post(SeekRequest::PreviousRecording());
}

void PlaybackChannel::NextRecording() {
    reader.seeks.Post(SeekRequest::NextRecording());
}

}  // namespace velmaro
