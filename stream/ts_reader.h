// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// TsReader: reads one recording on its own thread and splits it into video frames, audio
// frames and telemetry texts, forward, or backward by groups of pictures (scan back to the
// previous key frame, then read that group forward again). It continues into the next or
// previous recording of the folder at either end and serves the channel's requests: seek,
// previous or next recording, switch to a named file, change of direction.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "platform/auto_reset_event.h"
#include "platform/unique_fd.h"
#include "stream/demux.h"
#include "stream/frame_item.h"
#include "stream/seek_request.h"
#include "stream/ts_packet.h"

namespace velmaro {

class VideoFrameQueue;
class AudioFrameQueue;
class MessageSink;
class TelemetryHandOver;
struct ChannelControls;

constexpr int kReadBlockSize = 8192;
// Forward reading takes this much of the file at once, straight into the packet window: few
// system calls and no copy on the way; the window keeps room for the packet cut by a read's end.
constexpr int kForwardReadSize = 256 * 1024;
constexpr int kPacketWindowSize = kForwardReadSize + 2 * kTsPacketSize;
// Scanning backward reads blocks this big into the window, in front of the bytes left over.
constexpr int kBackwardReadSize = 32 * 1024;
constexpr int kIdleSleepMs = 100;
// How far into a file its program tables are looked for when the reader switches to it.
constexpr int64_t kTablesSearchBytes = 256 * 1024;

// Where the reader's outputs go. The panel receives positions (1130); the main window receives
// telemetry notices (1131) and resets (1132, sent synchronously).
struct ReaderLinks {
    ChannelControls* controls = nullptr;
    VideoFrameQueue* videoQueue = nullptr;
    AudioFrameQueue* audioQueue = nullptr;
    TelemetryHandOver* telemetry = nullptr;
    MessageSink* panel = nullptr;
    MessageSink* mainWindow = nullptr;
};

// Where a change of direction goes on: the picture on screen, found again in its file by the
// reader's serial of that file and the byte positions of its PES and of its group's key frame.
struct ResumePoint {
    uint32_t fileSerial = 0;
    int64_t picturePos = -1;
    int64_t groupPos = -1;
    double pts = -1.0;  // its presentation time; below 0 when not known
    bool Valid() const { return picturePos >= 0 && groupPos >= 0 && groupPos <= picturePos; }
};

class TsReader {
  public:
    enum class StepEnd { kContinue, kNoFurtherRecording };

    explicit TsReader(const ReaderLinks& links);
    TsReader(const TsReader&) = delete;
    TsReader& operator=(const TsReader&) = delete;
    virtual ~TsReader();

    // The owner sets the path first. Opens the file and starts the thread.
    virtual bool Start();
    // Joins the thread; a reset notice being sent at that moment is abandoned, never awaited.
    virtual void Stop();
    virtual bool OpenFile(bool atEnd);
    virtual int CloseFile();
    virtual int Run();

    // User-interface thread. -1 while the PMT has not been read; otherwise the direction asked
    // for. Frames read before the request are never queued after it. With a valid `from`,
    // forward delivery goes on at the group holding that picture (the pictures up to it are
    // for the decoder to skip), and backward delivery with the pictures before it.
    int SetDirection(bool backward, const ResumePoint& from = {});
    // User-interface thread: delivery starts again from `from` in the direction asked for, as
    // after a change of direction. False while the PMT has not been read.
    bool Restart(const ResumePoint& from);
    // `perMille` >= 1: delivery in the new file starts that far into it (by its size), as after
    // a seek there, in whichever direction is being played.
    void RequestOpen(const std::string& path, int32_t perMille = 0);
    // Ends an idle wait at the end of the recordings at once (after posting a seek).
    void Wake() { wakeEvent_.Set(); }
    void SetPath(const std::string& path);

    // Drives the reader on the calling thread, one pass at a time, for tools and fuzzing that
    // need no thread. A pass returns false at the end of the data with no further recording.
    bool StartWithoutThread();
    bool PassWithoutThread();

    std::string CurrentPath() const;
    // The path of a file the reader opened, by the serial its frames carry; empty when that
    // file was opened too long ago to be remembered.
    std::string PathOfSerial(uint32_t serial) const;
    uint32_t CurrentSerial() const { return fileSerial_.load(); }
    int64_t Position() const { return position_.load(); }
    int64_t FileSize() const { return fileSize_.load(); }
    bool PidsKnown() const { return pidsKnown_.load(); }
    bool Backward() const { return backward_.load(); }
    // Reader thread, or once the reader is stopped.
    const DemuxDropCounts& Drops() const { return demux_.drops; }
    int VideoPid() const { return demux_.psi.videoPid; }
    // Any thread: the video PID of the program map last read (-1 before one).
    int VideoPidSeen() const { return videoPid_.load(); }
    VideoCodec VideoCodecSeen() const { return videoCodec_.load(); }
    // Any thread: the direction last asked for, taken or not.
    bool DirectionAskedFor() const {
        return directionChangePending_.load() ? requestedBackward_.load() : backward_.load();
    }

    // Posted by the channel (any thread), taken by the reader thread. A byte seek posted before
    // the program tables are read waits for them.
    SeekMailbox seeks;

  private:
    bool BeginPasses();
    StepEnd Pass();
    bool PrepareBuffers();
    void ReleaseBuffers();
    void ResetReadingState();
    bool ServeRequests();  // true when the pass is over (a file switch reset everything)
    void DropResumeForNewPlace(const SeekRequest& seek);
    void StartInsideNewFile(int32_t perMille);
    StepEnd ForwardStep();
    StepEnd BackwardStep();
    void ForwardPacketLoop();
    void RouteFinalPacket();
    void BackwardPacketLoop();
    void BeginBackwardAt(int64_t position);
    void EndGroupPass();
    bool PictureStartsAt(int64_t position);
    bool SwitchTo(const std::string& path, bool atEnd);
    void RequestRestart(bool backward, const ResumePoint& from);
    void ResumeAt(const ResumePoint& from);
    int64_t BackwardStartFor(const std::string& path, int64_t picturePos) const;
    bool TakeSerial(const ResumePoint& from);
    void ReadSoundBeforeGroup(const ResumePoint& from);
    void ReadTablesOfFile();
    void SetIdle(bool idle);
    void PublishPids();
    void FlushAtEnd();
    bool OpenAdjacentRecording(int step);
    int ReadBlock(int64_t at, int size);
    int ReadInto(uint8_t* target, int64_t at, int size);
    void PostPosition();
    DemuxControls Controls() const;
    bool Running() const { return running_.load(std::memory_order_relaxed); }
    // Reader thread: the next pass serves a request that starts reading somewhere else, so the
    // packets still in the window are not worth routing. Inline: asked before every packet.
    bool ElsewhereAsked() const {
        const SeekRequest seek = seeks.Peek();
        const bool seekServed = seek.ToByte() && pidsKnown_.load();
        return directionChangePending_.load(std::memory_order_relaxed) ||
               openPending_.load(std::memory_order_relaxed) || seekServed || seek.ToRecording();
    }

    ReaderLinks links_;
    DemuxOutputs outputs_;

    std::thread thread_;
    std::stop_source stop_;  // lets a reset notice give up when the reader is being stopped
    std::atomic<bool> running_{false};
    AutoResetEvent wakeEvent_;  // set by requests and Stop; the reader waits on it when idle

    // Read by the user-interface thread, written by the reader thread.
    std::atomic<bool> pidsKnown_{false};
    std::atomic<int> videoPid_{-1};
    std::atomic<VideoCodec> videoCodec_{VideoCodec::kH264};
    std::atomic<bool> backward_{false};
    std::atomic<int64_t> position_{0};
    std::atomic<int64_t> fileSize_{0};
    mutable std::mutex pathMutex_;
    std::string path_;             // guarded by pathMutex_
    std::string pendingPath_;      // guarded by pathMutex_
    int32_t pendingPerMille_ = 0;  // guarded by pathMutex_; with pendingPath_
    ResumePoint resume_;           // guarded by pathMutex_; taken with a direction change
    static constexpr uint32_t kRememberedFiles = 16;
    struct SerialPath {
        uint32_t serial = 0;
        std::string path;
    };
    SerialPath serialPaths_[kRememberedFiles];  // guarded by pathMutex_
    // Written by whoever opens a file (the owner before Start, then the reader thread).
    std::atomic<uint32_t> fileSerial_{0};

    // Written by the user-interface thread, taken by the reader thread.
    std::atomic<bool> directionChangePending_{false};
    std::atomic<bool> requestedBackward_{false};
    std::atomic<bool> openPending_{false};  // with pendingPath_; cleared when it is taken

    // Reader thread only (and Start/Stop while the thread is not running).
    UniqueFd file_;
    DemuxState demux_;
    FrameItem videoItem_;
    FrameItem audioItem_;
    std::unique_ptr<uint8_t[]> window_;
    std::unique_ptr<uint8_t[]> readBuffer_;
    int available_ = 0;
    int cursor_ = 0;
    bool gopForward_ = false;
    bool audioWaitsForPicture_ = false;  // reader thread: after a reset, until a key frame
    int64_t keyPos_ = 0;     // where the group pass starts: after the key frame's first packet
    int64_t scanLimit_ = 0;  // where the group pass ends
    int64_t scanFrom_ = 0;   // the backward scan reads the block that ends here
    int64_t windowFileOffset_ = 0;  // file offset of window byte 0 while scanning backward
};

}  // namespace velmaro
