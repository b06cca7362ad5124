// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream/ts_reader.h"
#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <system_error>
#include <utility>

#include "platform/message_sink.h"
#include "stream/channel_controls.h"
#include "stream/frame_queue.h"
#include "stream/group_bounds.h"
#include "stream/recording_files.h"
#include "stream/telemetry_handover.h"
#include "stream/ts_packet.h"

namespace velmaro {
namespace {

constexpr int kLastWindowByte = kPacketWindowSize - 1;
constexpr int64_t kPerMille = 1000;
// Sound stored ahead of its pictures: a second at a camera's highest bit rates.
constexpr int64_t kSoundLeadBytes = 6 * 1024 * 1024;
constexpr double kSoundLeadTolerance = 0.05;

}  // namespace

TsReader::TsReader(const ReaderLinks& links) : links_(links) {
    outputs_.videoQueue = links.videoQueue;
    outputs_.videoItem = &videoItem_;
    outputs_.audioQueue = links.audioQueue;
    outputs_.audioItem = &audioItem_;
    outputs_.telemetry = links.telemetry;
    outputs_.sink = links.mainWindow;
    // Sound written ahead of its pictures fills the sound queue first; the pictures it waits
    // for come only from this reader, so it must not wait on sound while they are missing.
    if (links.audioQueue != nullptr && links.videoQueue != nullptr) {
        links.audioQueue->WaitOnlyWithPicturesIn(links.videoQueue);
    }
}

TsReader::~TsReader() {
    Stop();
}

void TsReader::SetPath(const std::string& path) {
    std::lock_guard lock(pathMutex_);
    path_ = path;
}

std::string TsReader::CurrentPath() const {
    std::lock_guard lock(pathMutex_);
    return path_;
}

std::string TsReader::PathOfSerial(uint32_t serial) const {
    std::lock_guard lock(pathMutex_);
    const SerialPath& entry = serialPaths_[serial % kRememberedFiles];
    return entry.serial == serial ? entry.path : std::string();
}

void TsReader::PublishPids() {
    // Asked after every packet, and the tables rarely change: other threads read these, so
    // storing the same values again would only take their cache line from them.
    if (pidsKnown_.load(std::memory_order_relaxed) == demux_.psi.pidsKnown &&
        videoPid_.load(std::memory_order_relaxed) == demux_.psi.videoPid &&
        videoCodec_.load(std::memory_order_relaxed) == demux_.psi.videoCodec) {
        return;
    }
    pidsKnown_.store(demux_.psi.pidsKnown, std::memory_order_relaxed);
    videoPid_.store(demux_.psi.videoPid, std::memory_order_relaxed);
    videoCodec_.store(demux_.psi.videoCodec, std::memory_order_relaxed);
}

void TsReader::SetIdle(bool idle) {
    if (links_.controls) {
        links_.controls->readerIdle.store(idle);
    }
}

void TsReader::RequestOpen(const std::string& path, int32_t perMille) {
    {
        std::lock_guard lock(pathMutex_);
        pendingPath_ = path;
        pendingPerMille_ = perMille;
    }
    openPending_.store(true);
    SetIdle(false);
    Wake();
}

bool TsReader::Start() {
    Stop();
    OpenFile(backward_.load());
    stop_ = std::stop_source();
    running_.store(true);
    try {
        thread_ = std::thread([this] {
            Run();
            running_.store(false);
        });
    } catch (const std::system_error&) {
        running_.store(false);
        return false;
    }
    return true;
}

void TsReader::Stop() {
    running_.store(false);
    stop_.request_stop();
    wakeEvent_.Set();
    if (thread_.joinable()) {
        thread_.join();
    }
    CloseFile();
    demux_.psi.pidsKnown = false;
    pidsKnown_.store(false);
    ReleaseBuffers();
}

bool TsReader::OpenFile(bool atEnd) {
    CloseFile();
    const std::string path = CurrentPath();
    UniqueFd fd = OpenRegularFile(path);
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    file_ = std::move(fd);
    fileSize_.store(st.st_size);
    position_.store(atEnd ? st.st_size : 0);
    const uint32_t serial = fileSerial_.load() + 1;
    {
        std::lock_guard lock(pathMutex_);
        serialPaths_[serial % kRememberedFiles] = {serial, path};
    }
    fileSerial_.store(serial);
    demux_.fileSerial = serial;
    return true;
}

int TsReader::CloseFile() {
    file_.Reset();
    position_.store(0);
    fileSize_.store(0);
    return 0;
}

bool TsReader::PrepareBuffers() {
    try {
        if (!window_) {
            window_ = std::make_unique_for_overwrite<uint8_t[]>(kPacketWindowSize);
        }
        if (!readBuffer_) {
            readBuffer_ = std::make_unique_for_overwrite<uint8_t[]>(kReadBlockSize);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    available_ = 0;
    cursor_ = 0;
    return demux_.PrepareBuffers();
}

void TsReader::ReleaseBuffers() {
    window_.reset();
    readBuffer_.reset();
    demux_.ReleaseBuffers();
    available_ = 0;
    cursor_ = 0;
}

DemuxControls TsReader::Controls() const {
    DemuxControls c;
    if (links_.controls) {
        c.playMode = links_.controls->playMode.load(std::memory_order_relaxed);
        c.audioEnabled = links_.controls->audioEnabled.load(std::memory_order_relaxed);
    }
    c.audioWaitsForPicture = audioWaitsForPicture_;
    c.directionChangePending = &directionChangePending_;
    c.running = &running_;
    return c;
}

int TsReader::SetDirection(bool backward, const ResumePoint& from) {
    if (!pidsKnown_.load()) {
        return -1;
    }
    // Compared with what was last asked for, so that asking back before the reader has taken
    // a change cancels it rather than being lost.
    if (backward != DirectionAskedFor()) {
        RequestRestart(backward, from);
    }
    return backward ? 1 : 0;
}

bool TsReader::Restart(const ResumePoint& from) {
    if (!pidsKnown_.load()) {
        return false;
    }
    RequestRestart(DirectionAskedFor(), from);
    return true;
}

void TsReader::RequestRestart(bool backward, const ResumePoint& from) {
    {
        std::lock_guard lock(pathMutex_);
        resume_ = from;
    }
    requestedBackward_.store(backward);
    directionChangePending_.store(true);
    SetIdle(false);
    // Frames read before the request leave at once; the reader clears again when it takes
    // the request, which catches a frame that was being pushed right now.
    if (links_.videoQueue) {
        links_.videoQueue->Clear();
    }
    if (links_.audioQueue) {
        links_.audioQueue->Clear();
    }
    Wake();
}

void TsReader::ResetReadingState() {
    audioWaitsForPicture_ = true;
    demux_.keyQueued = false;
    demux_.videoFromPos = -1;
    demux_.soundFromPts = -1.0;
    available_ = 0;
    cursor_ = backward_.load() ? kLastWindowByte : 0;
    demux_.ResetFills();
    if (links_.videoQueue) {
        links_.videoQueue->Clear();
    }
    if (links_.audioQueue) {
        links_.audioQueue->Clear();
    }
    gopForward_ = false;
    if (links_.telemetry) {
        links_.telemetry->ClearReady();
    }
    if (links_.mainWindow) {
        links_.mainWindow->Send(kMsgReset, 0, 0, stop_.get_token());
    }
}

int TsReader::Run() {
    if (!BeginPasses()) {
        return 0;
    }
    while (Running()) {
        if (Pass() == StepEnd::kNoFurtherRecording) {
            // Idle at an end: a request or a stop ends the wait at once.
            wakeEvent_.WaitFor(std::chrono::milliseconds(kIdleSleepMs));
        }
    }
    SetIdle(false);
    return 0;
}

bool TsReader::BeginPasses() {
    if (!PrepareBuffers()) {
        return false;
    }
    videoItem_ = FrameItem{};
    audioItem_ = FrameItem{};
    if (links_.videoQueue) {
        links_.videoQueue->Trim(&videoItem_);
    }
    if (links_.audioQueue) {
        links_.audioQueue->Trim(&audioItem_);
    }
    cursor_ = backward_.load() ? kLastWindowByte : 0;
    BeginBackwardAt(position_.load());
    return true;
}

TsReader::StepEnd TsReader::Pass() {
    if (ServeRequests()) {
        return StepEnd::kContinue;
    }
    if (audioWaitsForPicture_ && links_.videoQueue && links_.videoQueue->KeyCount() > 0) {
        audioWaitsForPicture_ = false;  // from here on a lost picture costs no sound
    }
    const bool scanBack = backward_.load() && !gopForward_;
    const StepEnd end = scanBack ? BackwardStep() : ForwardStep();
    SetIdle(end == StepEnd::kNoFurtherRecording);
    return end;
}

bool TsReader::StartWithoutThread() {
    Stop();
    OpenFile(backward_.load());
    stop_ = std::stop_source();
    running_.store(true);
    return BeginPasses();
}

bool TsReader::PassWithoutThread() {
    return Pass() == StepEnd::kContinue;
}

bool TsReader::ServeRequests() {
    SeekRequest seek = seeks.Take();
    if (seek.ToByte() && !pidsKnown_.load()) {
        // A byte means nothing before the tables tell where pictures are: it waits for them.
        seeks.GiveBack(seek);
        seek = {};
    }
    DropResumeForNewPlace(seek);
    if (seek.ToByte()) {
        position_.store(seek.position);
        BeginBackwardAt(seek.position);
        ResetReadingState();
    } else if (seek.ToRecording()) {
        if (OpenAdjacentRecording(seek.kind == SeekKind::kPreviousRecording ? -1 : +1)) {
            ResetReadingState();
            return true;
        }
    }
    std::string pending;
    int32_t pendingPerMille = 0;
    {
        std::lock_guard lock(pathMutex_);
        pending.swap(pendingPath_);
        pendingPerMille = std::exchange(pendingPerMille_, 0);
        openPending_.store(false);
    }
    if (!pending.empty() && SwitchTo(pending, backward_.load())) {
        StartInsideNewFile(pendingPerMille);
        ResetReadingState();
        return true;
    }
    if (directionChangePending_.load()) {
        ResumePoint from;
        {
            std::lock_guard lock(pathMutex_);
            from = std::exchange(resume_, ResumePoint{});
        }
        backward_.store(requestedBackward_.load());
        directionChangePending_.store(false);
        ResumeAt(from);
        ResetReadingState();
        ReadSoundBeforeGroup(from);
    }
    return false;
}

// A file just opened at a place inside it starts there as after a seek, in the same pass, so
// nothing of its start or end is read first and one reset covers both.
void TsReader::StartInsideNewFile(int32_t perMille) {
    if (perMille <= 0) {
        return;
    }
    const int64_t at = std::min<int64_t>(perMille, kPerMille - 1) * fileSize_.load() / kPerMille;
    position_.store(at);
    BeginBackwardAt(at);
}

// A seek, another recording or a path asked for after a change of direction that is still
// waiting: the new place wins over the picture the change would go on from (by now an old
// one, perhaps of another file); only the direction is kept.
void TsReader::DropResumeForNewPlace(const SeekRequest& seek) {
    if (!directionChangePending_.load()) {
        return;
    }
    bool newPlace = !seek.None();
    {
        std::lock_guard lock(pathMutex_);
        newPlace = newPlace || !pendingPath_.empty();
        if (newPlace) {
            resume_ = ResumePoint{};
        }
    }
    if (newPlace) {
        backward_.store(requestedBackward_.load());
        directionChangePending_.store(false);
    }
}

// Without a picture to go on from, the other direction starts where reading stopped.
void TsReader::ResumeAt(const ResumePoint& from) {
    int64_t at = position_.load();
    if (from.Valid()) {
        const std::string path = PathOfSerial(from.fileSerial);
        const bool inFile = !path.empty() && (from.fileSerial == fileSerial_.load() ||
                                              (SwitchTo(path, false) && TakeSerial(from)));
        if (inFile && from.picturePos < fileSize_.load()) {
            // Backward: the whole group that holds it, whose B-pictures shown before it may
            // follow it in the file; the decoder leaves out the picture and the later ones.
            at = backward_.load() ? BackwardStartFor(path, from.picturePos) : from.groupPos;
        }
    }
    position_.store(at);
    BeginBackwardAt(at);
}

// A camera stores up to a second of sound ahead of the pictures it goes with: going on forward
// with sound from a picture, reading starts that far before its group's key frame, taking
// only the sound from the picture's time on until the key frame is reached.
void TsReader::ReadSoundBeforeGroup(const ResumePoint& from) {
    const int64_t key = position_.load();
    if (backward_.load() || !from.Valid() || from.pts < 0.0 || key != from.groupPos ||
        !Controls().audioEnabled) {
        return;
    }
    const int64_t start = std::max<int64_t>(0, key - kSoundLeadBytes);
    position_.store(start - start % kTsPacketSize);
    demux_.videoFromPos = key;
    demux_.soundFromPts = from.pts - kSoundLeadTolerance;
    // The sound comes before any picture here by design.
    audioWaitsForPicture_ = false;
}

// The picture's file opened again keeps the picture's serial: the workers leave out the
// pictures on its one side by their file and time, which a new serial would not match.
bool TsReader::TakeSerial(const ResumePoint& from) {
    {
        std::lock_guard lock(pathMutex_);
        serialPaths_[from.fileSerial % kRememberedFiles] = {from.fileSerial, path_};
    }
    fileSerial_.store(from.fileSerial);
    demux_.fileSerial = from.fileSerial;
    return true;
}

int64_t TsReader::BackwardStartFor(const std::string& path, int64_t picturePos) const {
    const int64_t end = FindGroupEnd(path, demux_.psi.videoPid, picturePos, demux_.psi.videoCodec);
    return end > picturePos ? std::min(end, fileSize_.load()) : picturePos;
}

bool TsReader::SwitchTo(const std::string& path, bool atEnd) {
    if (path.empty()) {
        return false;
    }
    if (!demux_.psi.pidsKnown && !PrepareBuffers()) {
        return false;
    }
    demux_.rate.Reset();
    SetPath(path);
    OpenFile(atEnd);
    ReadTablesOfFile();
    if (atEnd) {
        // Backward delivery goes on at the end of the earlier file, where its last group ends.
        // Bytes and a partly gathered frame of the later file cannot continue in this one.
        BeginBackwardAt(fileSize_.load());
        available_ = 0;
        cursor_ = kLastWindowByte;
        demux_.video.Reset();
    }
    return true;
}

// Files of one card normally share their PIDs, but a file written by other firmware or cut by
// another tool may not. Its own tables stand near its start; read backward from its end they
// would come only after its last groups, so they are read from the start whichever way it is
// played. A file without tables there keeps the PIDs in use.
void TsReader::ReadTablesOfFile() {
    PsiState tables;
    int64_t at = 0;
    while (at < kTablesSearchBytes && !tables.pidsKnown && Running()) {
        const int n = ReadBlock(at, kReadBlockSize);
        if (n < kTsPacketSize) {
            break;
        }
        int i = 0;
        while (i + kTsPacketSize <= n && !tables.pidsKnown) {
            if (readBuffer_[i] != kTsSyncByte) {
                ++i;
                continue;
            }
            PsiStep(tables, ParseTsPacket(readBuffer_.get() + i));
            i += kTsPacketSize;
        }
        at += i > 0 ? i : n;  // the next read starts at the packet cut by this block's end
    }
    if (tables.pidsKnown) {
        demux_.psi = std::move(tables);
        PublishPids();
    }
}

bool TsReader::OpenAdjacentRecording(int step) {
    return SwitchTo(FindAdjacentRecording(CurrentPath(), step), backward_.load());
}

int TsReader::ReadBlock(int64_t at, int size) {
    return ReadInto(readBuffer_.get(), at, size);
}

int TsReader::ReadInto(uint8_t* target, int64_t at, int size) {
    if (!file_.Valid() || size <= 0) {
        return 0;
    }
    ssize_t n;
    do {
        n = ::pread(file_.Get(), target, size, at);
    } while (n < 0 && errno == EINTR);
    // A card pulled or a damaged sector reads as the end of the file.
    return n > 0 ? static_cast<int>(n) : 0;
}

// Reader thread. A recording still being written grows past the size seen at opening; the
// size is taken again then, and the position never leaves 0..1000 whatever the file does.
void TsReader::PostPosition() {
    const int64_t position = position_.load();
    int64_t size = fileSize_.load();
    struct stat st {};
    if (position > size && file_.Valid() && ::fstat(file_.Get(), &st) == 0 && st.st_size > size) {
        size = st.st_size;
        fileSize_.store(size);
    }
    if (links_.panel && size > 0) {
        links_.panel->Post(
            kMsgPosition,
            static_cast<intptr_t>(std::clamp<int64_t>(position * kPerMille / size, 0, kPerMille)),
            0);
    }
}

void TsReader::BeginBackwardAt(int64_t position) {
    scanLimit_ = position;
    scanFrom_ = position;
    // The frame being gathered is known to end where we start at the end of the file, or where
    // the next picture begins.
    demux_.backwardTailComplete = position >= fileSize_.load() || PictureStartsAt(position);
}

// A pass or scan that ends where a packet begins (a seek to the start of a picture, or the
// picture on screen) has read no byte of it: that packet, when it starts a picture, says the
// picture gathered before it is whole.
bool TsReader::PictureStartsAt(int64_t position) {
    if (!readBuffer_ || ReadBlock(position, kTsPacketSize) != kTsPacketSize ||
        readBuffer_[0] != kTsSyncByte) {
        return false;
    }
    const TsPacket packet = ParseTsPacket(readBuffer_.get());
    return packet.Routable() && packet.payloadUnitStart && packet.pid == demux_.psi.videoPid;
}

void TsReader::EndGroupPass() {
    const DemuxControls controls = Controls();
    // The packet that ends the pass (it starts the next group's key frame) completes the
    // group's last frame; at the end of the file nothing follows the last frame.
    if (available_ == kTsPacketSize && window_[cursor_] == kTsSyncByte) {
        demux_.packetPos = position_.load() - available_;
        RoutePacket(demux_, window_.get() + cursor_, outputs_, controls,
                    PacketFlow::kBackwardGroupPass);
    }
    if (scanLimit_ >= fileSize_.load() ||
        (demux_.video.Fill() > 0 && PictureStartsAt(scanLimit_))) {
        CompleteVideoPes(demux_, outputs_, controls, true, false);
    }
    // Scan on backward from just before this group's key frame packet.
    scanLimit_ = keyPos_;
    scanFrom_ = keyPos_ - kTsPacketSize;
    available_ = 0;
    cursor_ = kLastWindowByte;
    demux_.ResetFills();
    position_.store(scanFrom_);
    gopForward_ = false;
    demux_.backwardTailComplete = true;  // the scan goes on right before a frame's start
}

TsReader::StepEnd TsReader::ForwardStep() {
    std::memmove(window_.get(), window_.get() + cursor_, available_);
    cursor_ = 0;
    // Bytes left unrouted by a request that then changed nothing stay in front of the read;
    // a window that they fill is routed before anything more is read.
    if (available_ > kForwardReadSize) {
        ForwardPacketLoop();
        return StepEnd::kContinue;
    }
    int readSize = std::min(kForwardReadSize, kPacketWindowSize - available_);
    const int64_t position = position_.load();
    const bool groupPass = backward_.load();
    if (groupPass) {
        if (position >= scanLimit_) {
            // One read may hold the whole group: what a request left unrouted, and that
            // request then changed nothing, is still this group's.
            if (available_ > kTsPacketSize) {
                ForwardPacketLoop();
                return StepEnd::kContinue;
            }
            EndGroupPass();
            return StepEnd::kContinue;
        }
        readSize = static_cast<int>(std::min<int64_t>(readSize, scanLimit_ - position));
    }
    const int n = ReadInto(window_.get() + available_, position, readSize);
    if (n == 0) {
        if (groupPass) {  // the file shrank under us: the group ends here
            EndGroupPass();
            return StepEnd::kContinue;
        }
        // The file's last packet is taken with its own file's tables, before another file's
        // tables may give its PID another meaning.
        RouteFinalPacket();
        // That packet's frame may have waited for room; a seek asked for meanwhile is served
        // in this file, not in the next.
        if (ElsewhereAsked() || OpenAdjacentRecording(+1)) {
            return StepEnd::kContinue;
        }
        FlushAtEnd();
        return StepEnd::kNoFurtherRecording;
    }
    position_.store(position + n);
    available_ += n;
    PostPosition();
    ForwardPacketLoop();
    return StepEnd::kContinue;
}

void TsReader::RouteFinalPacket() {
    // No later byte will confirm the last packet's end; at the end of the last recording a
    // whole packet is taken as it is, so the frame it completes is not lost.
    if (available_ == kTsPacketSize && window_[cursor_] == kTsSyncByte) {
        demux_.packetPos = position_.load() - available_;
        RoutePacket(demux_, window_.get() + cursor_, outputs_, Controls(), PacketFlow::kForward);
        cursor_ += kTsPacketSize;
        available_ = 0;
    }
}

// No packet will start another PES after the last recording's end, so the last picture, sound
// frame and telemetry text are complete as they stand. Gathering then starts afresh, so the
// idle passes that follow complete nothing twice.
void TsReader::FlushAtEnd() {
    RouteFinalPacket();
    FlushPendingPes(demux_, outputs_, Controls());
}

void TsReader::ForwardPacketLoop() {
    const DemuxControls controls = Controls();
    const PacketFlow flow =
        backward_.load() ? PacketFlow::kBackwardGroupPass : PacketFlow::kForward;
    uint8_t* w = window_.get();
    // Kept in locals for the loop: the routing calls between packets would otherwise make
    // the compiler store and load them again for every packet. The window ends where the
    // file was last read to, which only this thread moves.
    int cursor = cursor_;
    int available = available_;
    const int64_t windowEnd = position_.load(std::memory_order_relaxed);
    // A read holds many frames: a seek or another file asked for meanwhile must not wait
    // until they are all queued (each push may wait for the picture to be shown).
    int key = ContinuationKey(demux_.psi);
    while (Running() && !ElsewhereAsked() && available > kTsPacketSize) {
        if (w[cursor] == kTsSyncByte && w[cursor + kTsPacketSize] == kTsSyncByte) {
            const int run = GatherContinuationRun(demux_, w + cursor, available, key);
            if (run > 0) {
                cursor += run;
                available -= run;
                continue;
            }
            if (!GatherContinuation(demux_, w + cursor, key)) {
                demux_.packetPos = windowEnd - available;
                RoutePacket(demux_, w + cursor, outputs_, controls, flow);
                PublishPids();
                key = ContinuationKey(demux_.psi);
            }
            cursor += kTsPacketSize;
            available -= kTsPacketSize;
        } else {
            // Out of step: on to the next sync byte that a following packet can confirm now,
            // or to the last packet's worth of bytes, which the next read confirms.
            const int candidates = available - kTsPacketSize - 1;
            const auto* next =
                static_cast<const uint8_t*>(std::memchr(w + cursor + 1, kTsSyncByte, candidates));
            const int skip = next ? static_cast<int>(next - (w + cursor)) : candidates + 1;
            cursor += skip;
            available -= skip;
        }
    }
    cursor_ = cursor;
    available_ = available;
}

TsReader::StepEnd TsReader::BackwardStep() {
    // The unexamined bytes end at the cursor; keep them at the end of the window.
    uint8_t* w = window_.get();
    std::memmove(w + kPacketWindowSize - available_, w + cursor_ - available_ + 1, available_);
    cursor_ = kLastWindowByte;
    // The block before the one scanned last, down to the file's first byte, so the first
    // group is delivered like any other; before that, the end of the previous recording.
    const int room = kPacketWindowSize - available_;
    const int64_t blockStart = std::max<int64_t>(0, scanFrom_ - std::min(kBackwardReadSize, room));
    const int wanted = static_cast<int>(scanFrom_ - blockStart);
    uint8_t* const block = w + room - wanted;
    const int n = ReadInto(block, blockStart, wanted);
    if (n == 0) {
        return OpenAdjacentRecording(-1) ? StepEnd::kContinue : StepEnd::kNoFurtherRecording;
    }
    if (n < wanted) {  // the file shrank: what was read goes next to the bytes kept
        std::memmove(w + room - n, block, n);
    }
    scanFrom_ = blockStart;
    position_.store(blockStart + n);
    available_ += n;
    windowFileOffset_ = blockStart - (kPacketWindowSize - available_);
    PostPosition();
    BackwardPacketLoop();
    return StepEnd::kContinue;
}

void TsReader::BackwardPacketLoop() {
    const DemuxControls controls = Controls();
    uint8_t* w = window_.get();
    // In locals for the loop, as in the forward one; stored back on every way out.
    int cursor = cursor_;
    int available = available_;
    int key = ContinuationKey(demux_.psi);
    while (Running() && !directionChangePending_.load(std::memory_order_relaxed) &&
           available > kTsPacketSize) {
        if (w[cursor] != kTsSyncByte || w[cursor - kTsPacketSize] != kTsSyncByte) {
            --cursor;
            --available;
            continue;
        }
        const uint8_t* packet = w + cursor - kTsPacketSize;
        cursor -= kTsPacketSize;
        available -= kTsPacketSize;
        if (ScanContinuation(demux_, packet, key)) {
            continue;
        }
        demux_.packetPos = windowFileOffset_ + cursor;
        const RouteResult result =
            RoutePacket(demux_, packet, outputs_, controls, PacketFlow::kBackwardScan);
        PublishPids();
        key = ContinuationKey(demux_.psi);
        if (result == RouteResult::kBackwardKeyFound) {
            // Read this group forward from the packet after its key frame's first one: the key
            // frame is queued already, and the rest of its PES is dropped as a fragment.
            gopForward_ = true;
            keyPos_ = windowFileOffset_ + cursor + kTsPacketSize;
            position_.store(keyPos_);
            available_ = 0;
            cursor_ = kLastWindowByte;
            demux_.audio.Reset();
            demux_.data.Reset();
            return;
        }
    }
    cursor_ = cursor;
    available_ = available;
}

}  // namespace velmaro
