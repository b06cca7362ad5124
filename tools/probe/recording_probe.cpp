// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/probe/recording_probe.h"
#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "media/codec_state.h"
#include "platform/data_extents.h"
#include "platform/message_sink.h"
#include "platform/recording_sink.h"
#include "stream/frame_queue.h"
#include "stream/telemetry_handover.h"
#include "stream/ts_packet.h"

namespace velmaro {
namespace {

// The reader's block size and packet window.
constexpr size_t kReadSize = 8192;
constexpr size_t kWindowSize = 9500;
static_assert(kTsPacketSize + kReadSize <= kWindowSize, "a read must fit behind a held packet");
// Frames fed to the decoder for the first picture before the size is left unknown: a decoder
// that reorders holds a few back, a stream of damaged frames yields none.
constexpr int kSizeDecodeFrames = 64;

class FileHandle {
  public:
    explicit FileHandle(const std::string& path) : fd_(OpenRegularFile(path).Release()) {}
    ~FileHandle() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int fd() const { return fd_; }

  private:
    int fd_;
};

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Reads up to `size` bytes; short only at the end of the file. -1 on a read error.
ssize_t ReadBlock(int fd, uint8_t* into, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, into + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

// Where packets are found, exactly as the reader does it: a packet is routed when its sync
// byte and the next packet's sync byte are both in place, so the last packet of the data read
// so far waits for the next read; anything else is skipped one byte at a time.
class PacketWindow {
  public:
    PacketWindow() : bytes_(kWindowSize) {}

    // Moves what is still available to the front and returns room for one read.
    uint8_t* PrepareRead() {
        std::memmove(bytes_.data(), bytes_.data() + cursor_, available_);
        cursor_ = 0;
        return bytes_.data() + available_;
    }
    void Appended(size_t count) { available_ += count; }

    template <typename Route>
    void FindPackets(Route&& route, uint64_t& skipped) {
        while (available_ > static_cast<size_t>(kTsPacketSize)) {
            const uint8_t* at = bytes_.data() + cursor_;
            if (at[0] == kTsSyncByte && at[kTsPacketSize] == kTsSyncByte) {
                route(at);
                Advance(kTsPacketSize);
            } else {
                ++skipped;
                Advance(1);
            }
        }
    }

    // At the end of the file no following sync byte can confirm the held packet; a whole
    // packet that starts with one is taken all the same.
    template <typename Route>
    void FinishFile(Route&& route) {
        const uint8_t* at = bytes_.data() + cursor_;
        if (available_ >= static_cast<size_t>(kTsPacketSize) && at[0] == kTsSyncByte) {
            route(at);
            Advance(kTsPacketSize);
        }
    }

    size_t Available() const { return available_; }
    void Clear() {
        cursor_ = 0;
        available_ = 0;
    }

  private:
    void Advance(size_t count) {
        cursor_ += count;
        available_ -= count;
    }

    std::vector<uint8_t> bytes_;
    size_t available_ = 0;
    size_t cursor_ = 0;
};

// One file's demultiplexer with its queues and hand-over, drained after every packet so that
// nothing ever waits or overflows.
class FileProbe {
  public:
    explicit FileProbe(ProbeReport& report) : report_(report) {}

    bool Prepare(std::string& error);
    void Route(const uint8_t* packet);
    void Finish();

  private:
    void CountPesStart(const uint8_t* packet);
    void Drain();
    void DrainVideo();
    void DrainAudio();
    void DrainTelemetry();
    void TakeTables();
    void DecodeForSize(const FrameItem& item);

    ProbeReport& report_;
    DemuxState state_;
    VideoFrameQueue videoQueue_;
    AudioFrameQueue audioQueue_;
    FrameItem videoItem_;
    FrameItem audioItem_;
    TelemetryHandOver telemetry_;
    RecordingSink sink_;
    DemuxOutputs outputs_;
    DemuxControls controls_;
    std::string text_;
    CodecState codec_;
    int framesDecoded_ = 0;
};

bool FileProbe::Prepare(std::string& error) {
    // Both queues stay stopped: a stopped queue still accepts frames but never blocks its
    // producer, and the probe takes every frame out right after it was pushed anyway.
    if (!state_.PrepareBuffers() || !OpenFrameQueues(videoQueue_, audioQueue_, kQueueStopped)) {
        error = "out of memory for the demultiplexer buffers";
        return false;
    }
    videoQueue_.Trim(&videoItem_);
    audioQueue_.Trim(&audioItem_);
    // Open to video from the first key frame on, as after the channel's first discontinuity.
    videoQueue_.SetKeyCount(0);
    outputs_ = {&videoQueue_, &videoItem_, &audioQueue_, &audioItem_, &telemetry_, &sink_};
    return true;
}

void FileProbe::Route(const uint8_t* packet) {
    ++report_.packets;
    if (ParseTsPacket(packet).transportError) {
        ++report_.errorPackets;
    }
    if (RoutePacket(state_, packet, outputs_, controls_, PacketFlow::kForward) ==
        RouteResult::kRouted) {
        CountPesStart(packet);
    }
    Drain();
}

void FileProbe::CountPesStart(const uint8_t* packet) {
    const TsPacket p = ParseTsPacket(packet);
    if (!p.payloadUnitStart) {
        return;
    }
    if (p.pid == state_.psi.videoPid) {
        ++report_.pesStarted.video;
    } else if (p.pid == state_.psi.audioPid) {
        ++report_.pesStarted.audio;
    } else if (p.pid == state_.psi.dataPid) {
        ++report_.pesStarted.telemetry;
    }
}

void FileProbe::Drain() {
    DrainVideo();
    DrainAudio();
    DrainTelemetry();
}

void FileProbe::DrainVideo() {
    FrameItem item;
    while (videoQueue_.Take(item)) {
        if (item.kind == kKindVideoKey) {
            ++report_.keyFrames;
        } else if (item.kind == kKindVideoInter) {
            ++report_.interFrames;
        } else {
            continue;
        }
        if (!report_.firstPts) {
            report_.firstPts = item.pts;
        }
        report_.lastPts = item.pts;
        DecodeForSize(item);
    }
}

void FileProbe::DecodeForSize(const FrameItem& item) {
    if (report_.pictureWidth > 0 || framesDecoded_ >= kSizeDecodeFrames) {
        return;
    }
    if (framesDecoded_++ == 0 && !codec_.OpenVideo(0, 0, kOutputBitsNone, DecoderFor(item.codec))) {
        framesDecoded_ = kSizeDecodeFrames;
        return;
    }
    if (codec_.DecodeVideo(item.data, item.size, item.pts) && codec_.Picture() != nullptr) {
        report_.pictureWidth = codec_.Picture()->width;
        report_.pictureHeight = codec_.Picture()->height;
    }
    if (report_.pictureWidth > 0 || framesDecoded_ >= kSizeDecodeFrames) {
        codec_.Release();  // the rest of the file is only counted
    }
}

void FileProbe::DrainAudio() {
    FrameItem item;
    while (audioQueue_.Take(item)) {
        if (item.kind == kKindAudio) {
            ++report_.audioFrames;
        }
    }
}

void FileProbe::DrainTelemetry() {
    report_.telemetryTexts = sink_.Count(kMsgTelemetry);
    if (!telemetry_.Take(text_)) {
        return;
    }
    GSensorRecord gsensor;
    GpsRecord fix;
    if (ParseTelemetry(text_, gsensor, fix)) {
        ++report_.gpsFixes;
        if (!report_.firstFix) {
            report_.firstFix = fix;
        }
        report_.lastFix = fix;
    }
}

void FileProbe::Finish() {
    const StreamTally before{report_.VideoFrames(), report_.audioFrames, report_.telemetryTexts};
    FlushPendingPes(state_, outputs_, controls_);
    Drain();
    report_.completedAtEnd = {report_.VideoFrames() - before.video,
                              report_.audioFrames - before.audio,
                              report_.telemetryTexts - before.telemetry};
    report_.drops = state_.drops;
    report_.frameRate = state_.rate.rate;
    report_.rateMeasured = state_.rate.measured;
    TakeTables();
}

void FileProbe::TakeTables() {
    const PsiState& psi = state_.psi;
    if (!psi.programs.empty()) {
        report_.programNumber = psi.programs.front().programNumber;
        report_.pmtPid = psi.programs.front().pmtPid;
    }
    report_.streams = psi.streams;
    report_.pidsKnown = psi.pidsKnown;
    report_.videoPid = psi.videoPid;
    report_.audioPid = psi.audioPid;
    report_.dataPid = psi.dataPid;
}

bool ReadPackets(int fd, const std::string& path, FileProbe& probe, ProbeReport& report,
                 std::string& error) {
    PacketWindow window;
    auto route = [&probe](const uint8_t* packet) { probe.Route(packet); };
    int64_t position = 0;
    struct stat info {};
    const int64_t fileEnd = ::fstat(fd, &info) == 0 ? info.st_size : INT64_MAX;
    for (;;) {
        const int64_t data = NextDataOffset(fd, position, fileEnd);
        if (data != position) {
            // A hole of a sparse file reads as zeros: garbage, counted but not read.
            report.garbageBytes += static_cast<uint64_t>(data - position) + window.Available();
            window.Clear();
            position = data;
            if (::lseek(fd, static_cast<off_t>(position), SEEK_SET) < 0) {
                error = SystemError("cannot read " + path + " at byte " + std::to_string(position));
                return false;
            }
        }
        const ssize_t n = ReadBlock(fd, window.PrepareRead(), kReadSize);
        if (n < 0) {
            error = SystemError("cannot read " + path + " at byte " + std::to_string(position));
            return false;
        }
        if (n == 0) {
            break;
        }
        position += n;
        window.Appended(static_cast<size_t>(n));
        window.FindPackets(route, report.garbageBytes);
    }
    window.FinishFile(route);
    report.tailBytes = window.Available();
    return true;
}

}  // namespace

bool ProbeRecording(const std::string& path, ProbeReport& report, std::string& error) {
    report = ProbeReport{};
    report.path = path;
    const FileHandle file(path);
    if (file.fd() < 0) {
        error = SystemError("cannot open " + path);
        return false;
    }
    struct stat info {};
    if (::fstat(file.fd(), &info) != 0) {
        error = SystemError("cannot read the size of " + path);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        error = "cannot probe " + path + ": it is a folder";
        return false;
    }
    report.size = info.st_size;
    FileProbe probe(report);
    if (!probe.Prepare(error) || !ReadPackets(file.fd(), path, probe, report, error)) {
        return false;
    }
    probe.Finish();
    return true;
}

}  // namespace velmaro
