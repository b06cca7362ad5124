// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/clip_export.h"

#include "export/clip_subtitles.h"
#include "export/subtitle_writer.h"
#include "export/track_source.h"
#include "export/ts_sound_filter.h"
#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <system_error>
#include <utility>

#include "stream/frame_item.h"
#include "stream/frame_scan.h"
#include "stream/recording_files.h"
#include "stream/ts_packet.h"

namespace velmaro {
namespace {

// Reads cover many blocks at once; the range test still steps block by block.
constexpr size_t kBlocksPerRead = 32;
constexpr size_t kReadSize = kBlocksPerRead * kExportBlockSize;
constexpr size_t kHeadReadSize = kReadSize / kTsPacketSize * kTsPacketSize;
// TS copy of a clip that is to be flushed: how much of it is handed to write-back at a time.
constexpr int64_t kWriteBackStep = int64_t{4} << 20;
// Room before a read for the unfinished packet of the previous one.
constexpr size_t kCarryRoom = 2 * kTsPacketSize;
// AVI: how far before the mark-in block reading resumes, so that the frame under way at the
// mark-in is gathered whole and can be the first one written.
constexpr int64_t kAviPreRoll = 2 * int64_t{kPesBufferSize};
// Samples of a few dozen ADTS frames; the vector grows on its own should a PES hold more.
constexpr size_t kPcmReserve = 64 * 1024;
// A folder may hold at most this many recordings in a row; guards the size estimate.
constexpr int kMaxFilesInClip = 100000;
constexpr const char* kAviSuffix = ".avi";
constexpr const char* kMp4Suffix = ".mp4";

static_assert(std::endian::native == std::endian::little,
              "PCM goes into the AVI file in the machine's byte order");

int64_t AlignDown(int64_t offset) {
    return offset / kExportBlockSize * kExportBlockSize;
}

int64_t FileSize(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// `suffix` is in small letters.
bool EndsWith(const std::string& path, const std::string& suffix) {
    if (path.size() < suffix.size()) {
        return false;
    }
    return std::equal(suffix.begin(), suffix.end(), path.end() - suffix.size(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(b)) == a;
    });
}

}  // namespace

bool IsAviOutput(const std::string& path) {
    return EndsWith(path, kAviSuffix);
}

bool IsMp4Output(const std::string& path) {
    return EndsWith(path, kMp4Suffix);
}

bool MarksInOrder(const ClipMarks& m) {
    if (m.inPath.empty() || m.outPath.empty() || m.inPos < 0 || m.outPos < 0) {
        return false;
    }
    const bool sameFile = m.inPath == m.outPath || SameFile(m.inPath, m.outPath);
    if (sameFile) {
        return m.inPos < m.outPos;
    }
    const int32_t in = RecordingNumber(m.inPath);
    const int32_t out = RecordingNumber(m.outPath);
    return in >= 0 && out >= 0 && in < out;
}

ClipExport::ClipExport(EndCallback onEnd, ProgressCallback onProgress)
    : onEnd_(std::move(onEnd)), onProgress_(std::move(onProgress)) {}

ClipExport::~ClipExport() {
    Stop();
    avi_.Close();
    mp4_.Close();
    output_.Abandon();
}

ExportCounters ClipExport::Counters() const {
    ExportCounters c;
    c.videoFrames = videoFrames_.load();
    c.audioSamples = audioSamples_.load();
    c.framesBeforeKey = framesBeforeKey_.load();
    c.oversizePes = oversizePes_.load();
    c.bytesWritten = bytesWritten_.load();
    return c;
}

ClipExport::FileIdentity ClipExport::IdentityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return {};
    }
    return {info.st_dev, info.st_ino, true};
}

// Paths are compared as they are, and files also by identity, so that two spellings of one
// path still find the mark files.
bool ClipExport::IsMarkIn(const std::string& path, const FileIdentity& id) const {
    return path == request_.marks.inPath || id == markInId_;
}

bool ClipExport::IsMarkOut(const std::string& path, const FileIdentity& id) const {
    return path == request_.marks.outPath || id == markOutId_;
}

bool ClipExport::Begin(const ExportRequest& request) {
    Stop();
    avi_.Close();
    mp4_.Close();
    output_.Abandon();
    lastError_.clear();
    request_ = request;
    aviMode_ = IsAviOutput(request.outputPath);
    mp4Mode_ = IsMp4Output(request.outputPath);
    for (auto* counter : {&bytesDone_, &bytesToDo_, &videoFrames_, &audioSamples_,
                          &framesBeforeKey_, &oversizePes_, &bytesWritten_}) {
        counter->store(0);
    }
    if (!MarksInOrder(request.marks)) {
        lastError_ = "the mark-in must lie before the mark-out";
        return false;
    }
    markInId_ = IdentityOf(request.marks.inPath);
    markOutId_ = IdentityOf(request.marks.outPath);
    markOutNumber_ = RecordingNumber(request.marks.outPath);
    if (TargetIsASource()) {
        lastError_ = request.outputPath +
                     " is one of the recordings the clip is cut from or the one being played; "
                     "choose another name";
        return false;
    }
    if (!output_.Create(request.outputPath, &lastError_)) {
        return false;
    }
    if (aviMode_ && !avi_.Create(output_.DuplicateFd(), request.width, request.height,
                                 request.frameRate, !request.withoutSound)) {
        lastError_ = "cannot create the AVI file " + request.outputPath;
        output_.Abandon();
        return false;
    }
    bytesToDo_.store(ComputeBytesToDo());
    currentPath_ = request.marks.inPath;
    if (!Start()) {
        avi_.Close();
        output_.Abandon();
        return false;
    }
    return true;
}

// The clip would replace a file it reads, or the recording on screen: compared by device and
// inode, so that no other spelling of the path (a link, "..", another mount of the card) slips
// through.
bool ClipExport::TargetIsASource() const {
    const FileIdentity target = IdentityOf(request_.outputPath);
    if (!target.valid) {
        return false;
    }
    for (const std::string& keep : request_.keepPaths) {
        if (IdentityOf(keep) == target) {
            return true;
        }
    }
    std::string path = request_.marks.inPath;
    for (int files = 0; files < kMaxFilesInClip && !path.empty(); ++files) {
        const FileIdentity id = IdentityOf(path);
        if (id == target) {
            return true;
        }
        if (id == markOutId_ || path == request_.marks.outPath) {
            break;
        }
        path = FindAdjacentRecording(path, +1);
    }
    return false;
}

int64_t ClipExport::ComputeBytesToDo() const {
    int64_t total = 0;
    std::string path = request_.marks.inPath;
    for (int files = 0; files < kMaxFilesInClip && !path.empty(); ++files) {
        const int64_t size = FileSize(path);
        const FileIdentity id = IdentityOf(path);
        const int64_t from = IsMarkIn(path, id) ? AlignDown(request_.marks.inPos) : 0;
        if (IsMarkOut(path, id)) {
            return total + std::max<int64_t>(0, std::min(size, request_.marks.outPos) - from);
        }
        total += std::max<int64_t>(0, size - from);
        path = FindAdjacentRecording(path, +1);
        if (markOutNumber_ >= 0 && RecordingNumber(path) > markOutNumber_) {
            break;
        }
    }
    return total;
}

bool ClipExport::AllocateBuffers() {
    try {
        buffer_.resize(kCarryRoom + kReadSize);
        if (aviMode_) {
            pcm_.reserve(kPcmReserve);
        }
        if (mp4Mode_) {
            mp4Pending_.reserve(2 * kReadSize);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return videoPes_.Allocate() && (!aviMode_ || audioPes_.Allocate());
}

void ClipExport::ReleaseBuffers() {
    buffer_ = {};
    pcm_ = {};
    mp4Pending_ = {};
    videoPes_.Release();
    audioPes_.Release();
}

bool ClipExport::Start() {
    Stop();
    if (!output_.IsOpen()) {
        lastError_ = "no export has been prepared";
        return false;
    }
    if (!AllocateBuffers()) {
        lastError_ = "not enough memory for the export";
        return false;
    }
    if (aviMode_ && !aac_.Open()) {
        lastError_ = "the AAC decoder cannot be opened";
        return false;
    }
    aac_.Flush();
    if (!OpenInput(currentPath_)) {
        const int err = errno;  // before anything else can change it
        lastError_ = SystemError("cannot open " + currentPath_, err);
        return false;
    }
    psi_ = PsiState{};
    tables_ = TablesInForce{};
    phase_ = Phase::kTables;
    end_.reset();
    stretchWritten_ = false;
    writeBackFrom_ = 0;
    pictureCopied_ = false;
    timeline_ = ClipTimeline{};
    mp4Pending_.clear();
    mp4Taken_ = 0;
    mp4Error_.clear();
    videoPes_.Reset();
    audioPes_.Reset();
    videoStarted_ = false;
    running_.store(true);
    try {
        thread_ = std::thread(&ClipExport::Run, this);
    } catch (const std::system_error& e) {
        running_.store(false);
        lastError_ = std::string("cannot start the export thread: ") + e.what();
        CloseInput();
        return false;
    }
    return true;
}

void ClipExport::Stop() {
    running_.store(false);
    if (thread_.joinable()) {
        thread_.join();
    }
    CloseInput();
    ReleaseBuffers();
}

bool ClipExport::OpenInput(const std::string& path) {
    UniqueFd fd = OpenRegularFile(path);
    struct stat info {};
    if (!fd.Valid() || ::fstat(fd.Get(), &info) != 0) {
        return false;
    }
    const FileIdentity id{info.st_dev, info.st_ino, true};
    input_ = std::move(fd);
    currentPath_ = path;
    currentIsIn_ = IsMarkIn(path, id);
    currentIsOut_ = IsMarkOut(path, id);
    currentSize_ = info.st_size;
    countFrom_ = currentIsIn_ ? AlignDown(request_.marks.inPos) : 0;
    threshold_ = 0;
    readPos_ = 0;
    ResetBuffer();
    return true;
}

void ClipExport::CloseInput() {
    input_.Reset();
}

void ClipExport::ResetBuffer() {
    fill_ = 0;
    scan_ = 0;
    bufferBase_ = readPos_;
    inSync_ = false;
    runBegin_ = runEnd_ = 0;
}

void ClipExport::Run() {
    if (mp4Mode_) {
        WorkMp4();
    } else {
        Work();
    }
    Conclude();
    CloseInput();
    if (end_->end == ExportEnd::kFinished && request_.writeSubtitles) {
        WriteClipSubtitles(request_.marks, request_.outputPath, request_.speedUnit,
                           request_.replaceSubtitles, end_->reason,
                           [this] { return !running_.load(); });
    }
    const ExportOutcome outcome = std::move(*end_);
    running_.store(false);
    if (onEnd_) {
        onEnd_(outcome);
    }
}

void ClipExport::Work() {
    while (!end_) {
        if (!running_.load()) {
            end_ = ExportOutcome{ExportEnd::kStopped, request_.outputPath, "stopped"};
            return;
        }
        StepWalk();
    }
}

void ClipExport::StepWalk() {
    ProcessChunk();
    if (onProgress_ && !end_) {
        onProgress_(BytesDone(), BytesToDo());
    }
}

// The walk runs as the remux asks for bytes; whatever ends one ends the other.
void ClipExport::WorkMp4() {
    std::string error;
    const bool copied =
        mp4_.Open([this](uint8_t* data, int size) { return ReadClipStream(data, size); },
                  output_.Fd(), Mp4OptionsFor(), error) &&
        mp4_.CopyPackets(error);
    if (!end_ && !running_.load()) {
        end_ = ExportOutcome{ExportEnd::kStopped, request_.outputPath, "stopped"};
    }
    if (copied) {
        return;
    }
    if (end_ && end_->end == ExportEnd::kFinished) {
        mp4Error_ = error;  // Conclude tells it unless the stretch held no picture at all
    } else {
        Fail(error);
    }
}

// The telemetry of the stretch, read ahead of the clip: its captions and its first picture's
// time. A stretch whose telemetry cannot be read gets neither.
Mp4Options ClipExport::Mp4OptionsFor() const {
    Mp4Options options;
    options.lastPictureMayBeCut = request_.marks.outPos < FileSize(request_.marks.outPath);
    const TrackResult track =
        CollectStretchTrack(request_.marks, [this] { return !running_.load(); });
    if (track.ok && track.origin > 0.0) {
        options.creationTime = static_cast<int64_t>(track.origin);
        options.cues = SubtitleCues(track.points, track.origin, request_.speedUnit);
    }
    return options;
}

int ClipExport::ReadClipStream(uint8_t* data, int size) {
    while (mp4Taken_ == mp4Pending_.size()) {
        mp4Pending_.clear();
        mp4Taken_ = 0;
        if (end_) {
            return end_->end == ExportEnd::kFinished ? 0 : -1;
        }
        if (!running_.load()) {
            return -1;
        }
        StepWalk();
    }
    if (end_ && end_->end != ExportEnd::kFinished) {
        return -1;
    }
    const size_t n = std::min(static_cast<size_t>(size), mp4Pending_.size() - mp4Taken_);
    std::copy_n(mp4Pending_.begin() + static_cast<ptrdiff_t>(mp4Taken_), n, data);
    mp4Taken_ += n;
    return static_cast<int>(n);
}

// Saves the clip when the export finished, removes it in every other case.
void ClipExport::Conclude() {
    if (end_->end != ExportEnd::kFinished) {
        avi_.Close();
        mp4_.Close();
        output_.Abandon();
        return;
    }
    std::string error;
    if (!aviMode_ && !pictureCopied_) {
        pictureCopied_ = GatheredPicture();  // the last PES, which nothing after it completes
    }
    if (!aviMode_ && !stretchWritten_) {
        end_->reason = "no whole packet lies between the marks";
    } else if (aviMode_ ? videoFrames_.load() == 0 : !pictureCopied_) {
        end_->reason = kNoPictureReason;
    } else if (aviMode_ && !avi_.Close()) {
        end_->reason = "cannot write " + request_.outputPath;
    } else if (mp4Mode_ && !mp4Error_.empty()) {
        end_->reason = mp4Error_;
    } else if (mp4Mode_ && !mp4_.Finish(error)) {
        end_->reason = error;
    } else if (CommitOutput(error)) {
        bytesDone_.store(bytesToDo_.load());
        return;
    } else {
        end_->reason = error;
    }
    end_->end = ExportEnd::kFailed;
    avi_.Close();
    mp4_.Close();
    output_.Abandon();
}

// The MP4 muxer lets go of the file before it appears under its name.
bool ClipExport::CommitOutput(std::string& error) {
    mp4_.Close();
    return output_.Commit(&error, request_.syncBeforeRename);
}

void ClipExport::ProcessChunk() {
    const size_t carry = fill_ - scan_;
    std::copy(buffer_.begin() + static_cast<ptrdiff_t>(scan_),
              buffer_.begin() + static_cast<ptrdiff_t>(fill_), buffer_.begin());
    bufferBase_ = readPos_ - static_cast<int64_t>(carry);
    runBegin_ = runEnd_ = 0;
    scan_ = 0;
    ssize_t n;
    do {
        n = ::pread(input_.Get(), buffer_.data() + carry, kReadSize, readPos_);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        const int err = errno;  // before anything else can change it
        Fail(SystemError("cannot read " + currentPath_, err));
        return;
    }
    fill_ = carry + static_cast<size_t>(std::max<ssize_t>(n, 0));
    if (n == 0) {
        EndOfFile();
        return;
    }
    // Blocks are counted from the read position, so their ends stay on the block grid. A
    // packet belongs to the block that holds its last byte.
    for (size_t read = 0; read < static_cast<size_t>(n) && !end_ && !reseek_;) {
        if (!running_.load()) {
            return;  // Work reports the stop
        }
        const size_t length = std::min<size_t>(kExportBlockSize, static_cast<size_t>(n) - read);
        const int64_t blockStart = readPos_ + static_cast<int64_t>(read);
        read += length;
        ProcessBlock(carry + read, blockStart, blockStart + static_cast<int64_t>(length), false);
    }
    FlushRun();
    StartWriteBack();
    if (!TakeReseek()) {
        readPos_ += n;
    }
}

bool ClipExport::TakeReseek() {
    if (!reseek_) {
        return false;
    }
    reseek_ = false;
    ResetBuffer();
    return true;
}

void ClipExport::ProcessBlock(size_t blockEnd, int64_t blockStart, int64_t fileEnd, bool eof) {
    range_ = RangeAt(fileEnd);
    if (phase_ != Phase::kTables) {
        CountProgress(blockStart, fileEnd);
    }
    switch (phase_) {
        case Phase::kTables:
        case Phase::kAssemble:
            // The tables may become known in the middle of the block; AVI assembly then takes
            // the packets after them.
            WalkPackets(blockEnd, eof, [this](size_t at) {
                if (phase_ == Phase::kTables) {
                    OnTablesPacket(at);
                } else {
                    OnAviPacket(at);
                }
            });
            break;
        case Phase::kCopy:
            if (range_ == Range::kFinished) {
                Finish();
                return;
            }
            WalkPackets(blockEnd, eof, [this](size_t at) {
                if (range_ != Range::kIn || bufferBase_ + static_cast<int64_t>(at) < threshold_) {
                    return;
                }
                const int soundPid = psi_.audioPid;  // as the map stood before this packet
                if (!pictureCopied_) {
                    WatchForPicture(at);
                }
                uint8_t* packet = buffer_.data() + at;
                if (request_.withoutSound && !KeepWithoutSound(packet, soundPid)) {
                    return;
                }
                timeline_.Pass(packet, psi_.videoPid);
                Emit(at);
            });
            break;
    }
}

void ClipExport::EndOfFile() {
    // The last packet of a file has no sync byte after it; take it if it is whole.
    ProcessBlock(fill_, readPos_, readPos_, true);
    FlushRun();
    if (end_ || TakeReseek()) {
        return;
    }
    if (currentIsOut_) {
        // Also when the mark-out is the file's end: its last block never tests as finished.
        if (phase_ == Phase::kTables) {
            Fail("the recordings hold no program map table before the mark-out");
        } else {
            Finish();
        }
        return;
    }
    const std::string next = FindAdjacentRecording(currentPath_, +1);
    if (next.empty() || (markOutNumber_ >= 0 && RecordingNumber(next) > markOutNumber_)) {
        RanOut("the recordings end after " + currentPath_ + ", before the mark-out");
        return;
    }
    if (!OpenInput(next)) {
        const int err = errno;  // before anything else can change it
        Fail(SystemError("cannot open " + next, err));
        return;
    }
    if (!aviMode_) {
        ContinueTimeline();
    }
}

// The read buffer is free here: the next read fills it from the new file's start.
void ClipExport::ContinueTimeline() {
    ssize_t n;
    do {
        n = ::pread(input_.Get(), buffer_.data(), kReadSize, 0);
    } while (n < 0 && errno == EINTR);
    timeline_.BeginFile(buffer_.data(), n > 0 ? static_cast<size_t>(n) : 0, psi_.videoPid);
}

void ClipExport::CountProgress(int64_t blockStart, int64_t blockEnd) {
    const int64_t counted = blockEnd - std::max(blockStart, countFrom_);
    if (counted > 0) {
        bytesDone_.store(std::min(BytesDone() + counted, BytesToDo()), std::memory_order_relaxed);
    }
}

ClipExport::Range ClipExport::RangeAt(int64_t r) const {
    const int64_t in = request_.marks.inPos;
    const int64_t out = request_.marks.outPos;
    // A mark-out at the recording's end takes the file to its last packet: the block that
    // ends there is the file's last, not one past the mark.
    const bool outAtEnd = currentIsOut_ && out >= currentSize_;
    const bool beforeOut = !currentIsOut_ || r < out || outAtEnd;
    if (currentIsOut_ && r > out && !outAtEnd) {
        return Range::kFinished;
    }
    if (currentIsIn_) {
        return r > in && beforeOut ? Range::kIn : Range::kBefore;
    }
    return beforeOut ? Range::kIn : Range::kBefore;
}

// A packet starts where the sync byte stands here and 188 bytes further on. The last packet of
// a file, and one that follows a packet directly at the end of what has been read, need no
// byte after them.
ClipExport::Sync ClipExport::SyncAt(size_t at, bool eof) const {
    if (buffer_[at] != kTsSyncByte) {
        return Sync::kNoPacket;
    }
    const size_t next = at + kTsPacketSize;
    if (next < fill_) {
        return buffer_[next] == kTsSyncByte ? Sync::kPacket : Sync::kNoPacket;
    }
    return eof || inSync_ ? Sync::kPacket : Sync::kUndecided;
}

// Hands every whole packet that ends by `end` to `onPacket`; stops early once the export ends
// or asks to read elsewhere.
template <typename OnPacket>
void ClipExport::WalkPackets(size_t end, bool eof, OnPacket onPacket) {
    while (scan_ + kTsPacketSize <= end) {
        const Sync sync = SyncAt(scan_, eof);
        if (sync == Sync::kUndecided) {
            return;
        }
        if (sync == Sync::kNoPacket) {
            ++scan_;
            inSync_ = false;
            continue;
        }
        const size_t at = scan_;
        scan_ += kTsPacketSize;
        inSync_ = true;
        onPacket(at);
        if (end_ || reseek_) {
            return;
        }
    }
}

void ClipExport::OnTablesPacket(size_t at) {
    const uint8_t* bytes = buffer_.data() + at;
    const TsPacket packet = ParseTsPacket(bytes);
    if (!packet.Routable()) {
        return;
    }
    const bool patKnown = !psi_.programs.empty();
    PsiStep(psi_, packet);
    if (!patKnown && !psi_.programs.empty()) {
        std::copy_n(bytes, kTsPacketSize, tables_.pat.table.bytes.begin());
        tables_.pat.table.found = true;
    }
    if (!psi_.pidsKnown) {
        NoteHeadCounter(packet);
        return;
    }
    std::copy_n(bytes, kTsPacketSize, tables_.pmt.table.bytes.begin());
    tables_.pmt.table.found = true;
    const int64_t tablesAt = bufferBase_ + static_cast<int64_t>(at);
    if (aviMode_) {
        if (psi_.videoCodec != VideoCodec::kH264) {
            Fail(kAviNeedsH264Reason);
            return;
        }
        // A stream may announce its video only in a later version of the map.
        phase_ = Phase::kAssemble;
    } else {
        if (!WriteHead(tablesAt)) {
            return;
        }
        phase_ = Phase::kCopy;
    }
    PlanStretch(tablesAt);
}

// The head's packets of the table PIDs, which the fresh tables may have to follow on from.
void ClipExport::NoteHeadCounter(const TsPacket& packet) {
    if (packet.pid == kPatPid) {
        tables_.pat.counter = ContinuityCounter(packet.bytes);
    } else if (packet.pid == psi_.PmtPid()) {
        tables_.pmt.counter = ContinuityCounter(packet.bytes);
    }
}

// Where reading goes on once the tables are known: at the mark-in block, rather than reading
// the whole mark-in file up to it. The tables in force there are looked for back from it.
void ClipExport::PlanStretch(int64_t tablesAt) {
    const int64_t markBlock = currentIsIn_ ? AlignDown(request_.marks.inPos) : 0;
    if (!aviMode_) {
        // The head holds everything before the tables; the stretch may begin at them.
        threshold_ = std::max(markBlock, tablesAt);
        readPos_ = AlignDown(threshold_);
        reseek_ = true;
        if (threshold_ > tablesAt) {
            WriteTablesInForce(tablesAt);
        }
        return;
    }
    const int64_t resume = AlignDown(std::max<int64_t>(0, markBlock - kAviPreRoll));
    if (resume > bufferBase_ + static_cast<int64_t>(fill_)) {
        if (!TakeTablesInForce(tablesAt, resume)) {
            return;
        }
        readPos_ = resume;
        reseek_ = true;
        videoPes_.Reset();
        audioPes_.Reset();
    }
}

// The walk goes on with the tables in force at `to`, looked for back from there to `from`.
bool ClipExport::TakeTablesInForce(int64_t from, int64_t to) {
    switch (FindTablesInForce(input_.Get(), from, to, buffer_, running_, tables_)) {
        case TableSearch::kDone:
            break;
        case TableSearch::kReadError: {
            const int err = errno;  // before anything else can change it
            Fail(SystemError("cannot read " + currentPath_, err));
            return false;
        }
        case TableSearch::kStopped:
            return false;  // Work reports the stop
    }
    PsiState inForce = PsiOf(tables_);
    if (inForce.pidsKnown) {
        psi_ = std::move(inForce);
    }
    return true;
}

bool ClipExport::WriteHead(int64_t length) {
    // The read buffer is free for this: reading resumes elsewhere right after.
    for (int64_t done = 0; done < length;) {
        // Whole packets per read, so that leaving the sound out finds them where they start.
        const size_t want = static_cast<size_t>(std::min<int64_t>(length - done, kHeadReadSize));
        ssize_t n;
        do {
            n = ::pread(input_.Get(), buffer_.data(), want, done);
        } while (n < 0 && errno == EINTR);
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            Fail(SystemError("cannot read " + currentPath_, err));
            return false;
        }
        size_t size = static_cast<size_t>(n);
        if (request_.withoutSound) {
            size = DropSoundPackets(buffer_.data(), size, psi_.audioPid);
        }
        if (!WriteOutput(buffer_.data(), size)) {
            return false;
        }
        done += n;
    }
    return true;
}

// A stretch that does not begin with the recording's map opens with the tables in force there,
// so that a player finds its streams from its first picture on.
void ClipExport::WriteTablesInForce(int64_t tablesAt) {
    const int headPmtPid = psi_.PmtPid();
    const int headPatCounter = tables_.pat.counter;  // the head's packets, so far
    const int headPmtCounter = tables_.pmt.counter;
    if (!TakeTablesInForce(tablesAt, threshold_)) {
        return;
    }
    if (WriteFreshTable(tables_.pat, kPatPid, headPatCounter)) {
        WriteFreshTable(tables_.pmt, headPmtPid, headPmtCounter);
    }
}

bool ClipExport::WriteFreshTable(const TableTrack& track, int headPid, int headCounter) {
    const int pid = ParseTsPacket(track.table.bytes.data()).pid;
    TsPacketBytes packet = FreshTablePacket(track, pid == headPid ? headCounter : kNoCounter,
                                            PcrPidOf(tables_.pmt.table));
    if (request_.withoutSound) {
        DropStreamFromMap(packet.data(), psi_.audioPid);
    }
    return WriteOutput(packet.data(), packet.size());
}

// Packets of the sound give way, but for the programme clock some carry; the map forgets the
// sound.
bool ClipExport::KeepWithoutSound(uint8_t* packet, int soundPid) {
    const int pid = ParseTsPacket(packet).pid;
    if (pid == soundPid && soundPid != kNoPid) {
        return KeepClockOnly(packet);
    }
    if (pid == psi_.PmtPid()) {
        DropStreamFromMap(packet, soundPid);
    }
    return true;
}

// Packets next to each other in the buffer go out in one write.
void ClipExport::Emit(size_t at) {
    if (runEnd_ != at || runBegin_ == runEnd_) {
        FlushRun();
        runBegin_ = at;
    }
    runEnd_ = at + kTsPacketSize;
    stretchWritten_ = true;
}

void ClipExport::FlushRun() {
    if (runBegin_ < runEnd_ && !end_) {
        WriteOutput(buffer_.data() + runBegin_, runEnd_ - runBegin_);
    }
    runBegin_ = runEnd_ = 0;
}

bool ClipExport::WriteOutput(const uint8_t* data, size_t size) {
    if (mp4Mode_) {
        mp4Pending_.insert(mp4Pending_.end(), data, data + size);
        bytesWritten_.fetch_add(static_cast<int64_t>(size), std::memory_order_relaxed);
        return true;
    }
    while (size > 0) {
        const ssize_t n = ::write(output_.Fd(), data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            Fail(SystemError("cannot write " + request_.outputPath, err));
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
        bytesWritten_.fetch_add(n, std::memory_order_relaxed);
    }
    return true;
}

// A clip that is to be flushed is handed to write-back every few megabytes as it grows, so
// that the medium is busy while the rest is read: the flush before the rename then has little
// left to wait for (a third less time for the whole export, measured on a local disk). Best
// effort: that flush reports any failure.
void ClipExport::StartWriteBack() {
    const int64_t written = bytesWritten_.load(std::memory_order_relaxed);
    if (mp4Mode_ || !request_.syncBeforeRename || written - writeBackFrom_ < kWriteBackStep) {
        return;
    }
    ::sync_file_range(output_.Fd(), writeBackFrom_, written - writeBackFrom_,
                      SYNC_FILE_RANGE_WRITE);
    writeBackFrom_ = written;
}

// Gathers the copied video PES, as a player of the clip would, until one holds a picture.
void ClipExport::WatchForPicture(size_t at) {
    const TsPacket packet = ParseTsPacket(buffer_.data() + at);
    if (!packet.Routable()) {
        return;
    }
    if (IsTablePid(psi_, packet.pid)) {
        PsiFollow(psi_, packet);
        return;
    }
    if (packet.pid != psi_.videoPid) {
        return;
    }
    if (packet.payloadUnitStart) {
        pictureCopied_ = GatheredPicture();
        videoPes_.Reset();
    }
    videoPes_.Append(packet.Payload(), packet.payloadLength);
}

// A fragment whose start was not copied has no PES header and is not a picture; a picture
// that is not a key frame cannot be decoded from the clip, which starts with it at best.
bool ClipExport::GatheredPicture() const {
    const int fill = videoPes_.Fill();
    PesHeader header;
    if (videoPes_.Overflowed() || !ParsePesHeader(videoPes_.Bytes(), fill, header) ||
        fill <= header.payloadOffset) {
        return false;
    }
    return ScanFrameKind(videoPes_.Bytes() + header.payloadOffset, fill - header.payloadOffset,
                         &running_, psi_.videoCodec)
               .kind == kKindVideoKey;
}

void ClipExport::OnAviPacket(size_t at) {
    const TsPacket packet = ParseTsPacket(buffer_.data() + at);
    if (!packet.Routable() || packet.payloadLength == 0) {
        return;
    }
    if (IsTablePid(psi_, packet.pid)) {
        PsiFollow(psi_, packet);
        return;
    }
    PesBuffer* pes = nullptr;
    if (packet.pid == psi_.videoPid) {
        if (packet.payloadUnitStart) {
            CompleteVideo();
        }
        pes = &videoPes_;
    } else if (packet.pid == psi_.audioPid && !request_.withoutSound) {
        if (packet.payloadUnitStart) {
            CompleteAudio();
        }
        pes = &audioPes_;
    } else {
        return;
    }
    if (packet.payloadUnitStart) {
        pes->Reset();
    }
    pes->Append(packet.Payload(), packet.payloadLength);
}

void ClipExport::CompleteVideo() {
    const int fill = videoPes_.Fill();
    if (fill == 0) {
        return;
    }
    if (videoPes_.Overflowed()) {
        oversizePes_.fetch_add(1);
        return;
    }
    PesHeader header;
    if (!ParsePesHeader(videoPes_.Bytes(), fill, header) || fill <= header.payloadOffset) {
        return;
    }
    const uint8_t* payload = videoPes_.Bytes() + header.payloadOffset;
    const int size = fill - header.payloadOffset;
    if (psi_.videoCodec != VideoCodec::kH264) {
        Fail(kAviNeedsH264Reason);  // a later map may switch the video to H.265
        return;
    }
    const FrameScan scan = ScanFrameKind(payload, size, &running_);
    if (scan.kind == kKindNone) {
        return;  // parameter sets or delimiters without a picture
    }
    if (range_ == Range::kFinished) {
        Finish();
        return;
    }
    if (range_ != Range::kIn) {
        return;
    }
    // A clip must open with a picture a decoder can start from.
    if (!videoStarted_ && scan.kind != kKindVideoKey) {
        framesBeforeKey_.fetch_add(1);
        return;
    }
    if (!avi_.WriteVideo(payload + scan.offset, static_cast<size_t>(size - scan.offset))) {
        Fail("cannot write " + request_.outputPath);
        return;
    }
    videoStarted_ = true;
    videoFrames_.fetch_add(1);
}

void ClipExport::CompleteAudio() {
    const int fill = audioPes_.Fill();
    if (fill == 0) {
        return;
    }
    if (audioPes_.Overflowed()) {
        oversizePes_.fetch_add(1);
        return;
    }
    PesHeader header;
    if (!ParsePesHeader(audioPes_.Bytes(), fill, header) || fill <= header.payloadOffset) {
        return;
    }
    if (range_ == Range::kFinished) {
        Finish();
        return;
    }
    // Audio starts with the first picture, so both streams of the AVI begin together.
    if (range_ != Range::kIn || !videoStarted_) {
        return;
    }
    const uint8_t* data = audioPes_.Bytes() + header.payloadOffset;
    size_t left = static_cast<size_t>(fill - header.payloadOffset);
    pcm_.clear();
    while (left > 0) {
        const size_t used = aac_.DecodeFrame(data, left, pcm_);
        if (used == 0) {
            break;  // the rest is not a frame the decoder can use
        }
        data += used;
        left -= used;
    }
    if (pcm_.empty()) {
        return;
    }
    if (!avi_.WriteAudio(reinterpret_cast<const uint8_t*>(pcm_.data()),
                         pcm_.size() * sizeof(int16_t))) {
        Fail("cannot write " + request_.outputPath);
        return;
    }
    audioSamples_.fetch_add(static_cast<int64_t>(pcm_.size()));
}

void ClipExport::Finish() {
    FlushRun();
    if (!end_) {
        end_ = ExportOutcome{ExportEnd::kFinished, request_.outputPath, {}};
    }
}

void ClipExport::Fail(std::string reason) {
    if (!end_) {
        end_ = ExportOutcome{ExportEnd::kFailed, request_.outputPath, std::move(reason)};
    }
}

void ClipExport::RanOut(std::string reason) {
    if (!end_) {
        end_ = ExportOutcome{ExportEnd::kRanOut, request_.outputPath, std::move(reason)};
    }
}

}  // namespace velmaro
