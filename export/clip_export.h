// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// ClipExport: the clip export worker. On a thread of its own it reads the recording files from
// the mark-in to the mark-out (continuing across files by their numbers) with its own file
// handle, independently of playback, and writes either
//   - a transport stream clip: the head of the mark-in file up to its first program map packet,
//     the PAT and PMT in force where the stretch begins when it does not begin with them, then
//     the whole packets of the 8,192-byte blocks in range, or
//   - an AVI clip (output name ending in ".avi"): the H.264 access units stored unchanged from
//     the first key frame in range on, and the AAC audio decoded to 48 kHz mono 16-bit PCM.
//     An H.265 recording is refused (the transport stream clip takes any video), or
//   - an MP4 clip (output name ending in ".mp4"): the transport stream clip, as it is cut,
//     remuxed by libavformat into MP4 with the stretch's telemetry as a timed text track.
// Any kind may leave the sound out.
// The output appears under its name only when the export completes with a picture in it;
// whatever ends it otherwise leaves no file there and any earlier file untouched.
#pragma once

#include <sys/types.h>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "export/avi_writer.h"
#include "export/clip_timeline.h"
#include "export/file_copy.h"
#include "export/mp4_remux.h"
#include "export/ts_clip_tables.h"
#include "media/aac_decoder.h"
#include "platform/unique_fd.h"
#include "stream/pes.h"
#include "stream/psi.h"

namespace velmaro {

constexpr int kExportBlockSize = 8192;  // the unit of the range test

// Why a clip whose marks hold no picture is not saved, whichever its kind.
inline constexpr char kNoPictureReason[] = "no video frame lies between the marks";
// Why an H.265 recording is not exported to AVI: the AVI clip stores H.264 access units.
inline constexpr char kAviNeedsH264Reason[] =
    "AVI export takes H.264 video only; export this recording as .ts";

enum class ExportEnd {
    kFinished,  // the clip is complete and saved under the output name
    kFailed,    // nothing was saved; `reason` says why
    kRanOut,    // the recordings ended before the mark-out file; nothing was saved
    kStopped,   // stopped by its owner; nothing was saved
};

struct ExportOutcome {
    ExportEnd end = ExportEnd::kStopped;
    std::string outputPath;
    // Why, for kFailed and kRanOut. For kFinished, why the clip got no subtitle sidecar it was
    // to get; empty when it got one.
    std::string reason;
};

// Positions are the reader's byte positions (bytes read so far) when the marks were set.
struct ClipMarks {
    std::string inPath;
    int64_t inPos = -1;
    std::string outPath;
    int64_t outPos = -1;  // -1: no mark-out since the last mark-in
};

// The mark-in lies before the mark-out: an earlier file by number, or the same file at a lower
// position.
bool MarksInOrder(const ClipMarks& marks);

// An output name ending in ".avi" in any letter case asks for an AVI clip.
bool IsAviOutput(const std::string& path);
// An output name ending in ".mp4" in any letter case asks for an MP4 clip.
bool IsMp4Output(const std::string& path);

struct ExportRequest {
    std::string outputPath;
    double frameRate = 30.0;  // AVI only: the rate the channel's clock paces at
    int width = 0;            // AVI only: the channel's picture size
    int height = 0;
    ClipMarks marks;
    // Files the clip must never replace besides those of the stretch, which never are: the
    // recording being played.
    std::vector<std::string> keepPaths;
    // Flush the clip to the medium before it appears under its name, so that it is complete
    // there once the export reports it finished (the user may pull the stick right away).
    // Callers that keep the file on a fixed disk, or measure the copy alone, may skip it.
    bool syncBeforeRename = true;
    // Once the clip is saved, write NAME.srt beside it with the stretch's telemetry, the speed
    // in `speedUnit` (0 km/h, 1 mph, 2 knots).
    bool writeSubtitles = false;
    // NAME.srt already there (the user's, or an earlier clip's) may be replaced: the user said so.
    bool replaceSubtitles = false;
    int speedUnit = 0;  // also of the MP4's text track
    // Leave the sound out: no audio stream, and in a transport stream clip no packet of it
    // and no mention of it in the program map.
    bool withoutSound = false;
};

// What the worker did; written by the worker, readable from any thread.
struct ExportCounters {
    int64_t videoFrames = 0;      // AVI video frames written
    int64_t audioSamples = 0;     // AVI audio samples written
    int64_t framesBeforeKey = 0;  // in-range frames dropped until the first key frame
    int64_t oversizePes = 0;      // PES longer than their 1 MiB buffer, dropped
    int64_t bytesWritten = 0;     // clip bytes written (TS copy)
};

class ClipExport {
  public:
    // Called once on the worker thread when it ends, after the output has been saved or
    // removed. It must not stop or destroy this object; post to the owner instead.
    using EndCallback = std::function<void(const ExportOutcome&)>;
    // Called on the worker thread after each read, with bytes done of bytes to do.
    using ProgressCallback = std::function<void(int64_t done, int64_t toDo)>;

    explicit ClipExport(EndCallback onEnd = {}, ProgressCallback onProgress = {});
    ~ClipExport();  // stops a running export, which then removes its output
    ClipExport(const ClipExport&) = delete;
    ClipExport& operator=(const ClipExport&) = delete;

    // Prepares the output beside its target and starts the worker. False, with LastError set
    // and nothing left on disk, when the marks are not in order, the output cannot be created
    // or the mark-in file cannot be opened. A running export is stopped first.
    bool Begin(const ExportRequest& request);
    // Starts the worker on the export Begin prepared (Begin calls it); false when there is
    // none or the thread cannot start.
    bool Start();
    // Ends the worker and waits for it without a time-out; an unfinished export is abandoned.
    void Stop();

    bool IsRunning() const { return running_.load(); }
    bool AviMode() const { return aviMode_; }
    bool Mp4Mode() const { return mp4Mode_; }
    int64_t BytesDone() const { return bytesDone_.load(std::memory_order_relaxed); }
    int64_t BytesToDo() const { return bytesToDo_.load(std::memory_order_relaxed); }
    ExportCounters Counters() const;
    // Why Begin or Start gave false. Owner thread only.
    const std::string& LastError() const { return lastError_; }

  private:
    enum class Phase { kTables, kCopy, kAssemble };
    enum class Range { kBefore, kIn, kFinished };
    enum class Sync { kPacket, kNoPacket, kUndecided };

    struct FileIdentity {
        dev_t device = 0;
        ino_t inode = 0;
        bool valid = false;
        bool operator==(const FileIdentity& o) const {
            return valid && o.valid && device == o.device && inode == o.inode;
        }
    };
    static FileIdentity IdentityOf(const std::string& path);

    // Worker body and its steps.
    void Run();
    void Work();
    void WorkMp4();
    Mp4Options Mp4OptionsFor() const;
    int ReadClipStream(uint8_t* data, int size);
    void StepWalk();
    void Conclude();
    bool CommitOutput(std::string& error);
    bool OpenInput(const std::string& path);
    void CloseInput();
    void ResetBuffer();
    bool TakeReseek();
    void ProcessChunk();
    void ProcessBlock(size_t blockEnd, int64_t blockStart, int64_t fileEnd, bool eof);
    void EndOfFile();
    void ContinueTimeline();
    void CountProgress(int64_t blockStart, int64_t blockEnd);
    Range RangeAt(int64_t position) const;
    Sync SyncAt(size_t at, bool eof) const;
    template <typename OnPacket>
    void WalkPackets(size_t end, bool eof, OnPacket onPacket);

    // Transport stream copy.
    void OnTablesPacket(size_t at);
    void NoteHeadCounter(const TsPacket& packet);
    void PlanStretch(int64_t tablesAt);
    bool TakeTablesInForce(int64_t from, int64_t to);
    bool WriteHead(int64_t length);
    bool KeepWithoutSound(uint8_t* packet, int soundPid);
    void WriteTablesInForce(int64_t tablesAt);
    bool WriteFreshTable(const TableTrack& track, int headPid, int headCounter);
    void WatchForPicture(size_t at);
    bool GatheredPicture() const;
    void Emit(size_t at);
    void FlushRun();
    bool WriteOutput(const uint8_t* data, size_t size);
    void StartWriteBack();

    // AVI assembly.
    void OnAviPacket(size_t at);
    void CompleteVideo();
    void CompleteAudio();

    void Finish();
    void Fail(std::string reason);
    void RanOut(std::string reason);

    int64_t ComputeBytesToDo() const;
    bool TargetIsASource() const;
    bool IsMarkIn(const std::string& path, const FileIdentity& id) const;
    bool IsMarkOut(const std::string& path, const FileIdentity& id) const;
    bool AllocateBuffers();
    void ReleaseBuffers();

    const EndCallback onEnd_;
    const ProgressCallback onProgress_;

    // Owner thread; the worker reads them while it runs, when the owner leaves them alone.
    ExportRequest request_;
    bool aviMode_ = false;
    bool mp4Mode_ = false;
    FileIdentity markInId_;
    FileIdentity markOutId_;
    int32_t markOutNumber_ = -1;
    std::string lastError_;
    std::thread thread_;

    // The worker's while it runs; the owner's before Start and after the join.
    ReplacingFile output_;
    AviWriter avi_;
    AacDecoder aac_;
    UniqueFd input_;
    std::string currentPath_;
    bool currentIsIn_ = false;
    bool currentIsOut_ = false;
    int64_t currentSize_ = 0;  // as the file was opened
    int64_t countFrom_ = 0;    // progress counts bytes of the current file from here on
    PsiState psi_;             // the tables in use where the walk is
    // The first tables of the mark-in file and the continuity counters of their PIDs' packets
    // before its map; then the tables in force where the stretch begins.
    TablesInForce tables_;
    Phase phase_ = Phase::kTables;
    Range range_ = Range::kBefore;  // of the block being walked
    std::optional<ExportOutcome> end_;

    // Read buffer: bytes carried over from the last read, then the new read. Allocated by
    // Start, freed by Stop.
    std::vector<uint8_t> buffer_;
    int64_t bufferBase_ = 0;  // file offset of buffer_[0]
    int64_t readPos_ = 0;     // file offset of the next read
    size_t fill_ = 0;
    size_t scan_ = 0;  // the walk has consumed everything before this
    bool inSync_ = false;
    bool reseek_ = false;  // the next read goes to readPos_ with nothing carried over

    int64_t threshold_ = 0;  // TS copy: packets starting before this offset are not copied
    size_t runBegin_ = 0;    // TS copy: whole packets in buffer_ waiting to be written
    size_t runEnd_ = 0;
    bool stretchWritten_ = false;
    int64_t writeBackFrom_ = 0;   // TS copy: clip bytes before this were handed to write-back
    bool pictureCopied_ = false;  // TS copy: a PES with a key picture has been copied
    ClipTimeline timeline_;       // TS copy: the clip's clocks and counters across files
    Mp4Remux mp4_;                // MP4: takes the TS copy's bytes from mp4Pending_
    std::vector<uint8_t> mp4Pending_;
    size_t mp4Taken_ = 0;   // of mp4Pending_, handed to mp4_ already
    std::string mp4Error_;  // why mp4_ broke off while the walk ended well

    PesBuffer videoPes_;  // AVI: the frame being gathered; TS copy: until a picture is copied
    PesBuffer audioPes_;
    std::vector<int16_t> pcm_;  // decoded audio of one PES; capacity kept
    bool videoStarted_ = false;

    // Start sets it, Stop clears it to end the worker, and the worker clears it as it ends.
    std::atomic<bool> running_{false};
    // Written by Begin before the thread starts and by the worker; read by anyone.
    std::atomic<int64_t> bytesDone_{0};
    std::atomic<int64_t> bytesToDo_{0};
    std::atomic<int64_t> videoFrames_{0};
    std::atomic<int64_t> audioSamples_{0};
    std::atomic<int64_t> framesBeforeKey_{0};
    std::atomic<int64_t> oversizePes_{0};
    std::atomic<int64_t> bytesWritten_{0};
};

}  // namespace velmaro
