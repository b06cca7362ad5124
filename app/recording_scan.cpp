// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/recording_scan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/data_extents.h"
#include "platform/regular_file.h"
#include "stream/pes.h"
#include "stream/rmc_time.h"
#include "stream/ts_packet.h"

namespace velmaro {
namespace {

constexpr size_t kScanBlock = 64 * 1024;
constexpr int kContinuityModulo = 16;
constexpr uint8_t kDiscontinuityIndicator = 0x80;
// No sensor reads beyond this; a text claiming more is garbage, and the differences of such
// values would overflow to infinity.
constexpr double kMaxPlausibleG = 1.0e6;
enum StreamSlot { kVideoSlot, kAudioSlot, kDataSlot, kSlots };

bool HasPayload(int afc) {
    return afc == kAfcPayloadOnly || afc == kAfcAdaptationAndPayload;
}

// The muxer announced a break of the counter: no packet was lost there.
bool DiscontinuityAnnounced(const uint8_t* packet, int afc) {
    return (afc == kAfcAdaptationOnly || afc == kAfcAdaptationAndPayload) && packet[4] > 0 &&
           (packet[5] & kDiscontinuityIndicator) != 0;
}

std::optional<double> PesTime(const TsPacket& packet) {
    PesHeader header;
    if (!packet.payloadUnitStart ||
        !ParsePesHeader(packet.Payload(), packet.payloadLength, header) || !header.HasTime()) {
        return std::nullopt;
    }
    return header.pts;
}

}  // namespace

RecordingScanner::RecordingScanner() {
    // Without its buffers the demultiplexer drops every PES: the scan then still counts damage.
    demux_.PrepareBuffers();
    outputs_.telemetry = &telemetry_;
}

void RecordingScanner::Feed(const uint8_t* bytes, size_t size) {
    if (finished_ || size == 0) {
        return;
    }
    window_.insert(window_.end(), bytes, bytes + size);
    scan_.size += static_cast<int64_t>(size);
    FindPackets();
}

void RecordingScanner::SkipHole(int64_t size) {
    if (finished_ || size <= 0) {
        return;
    }
    windowStart_ += static_cast<int64_t>(window_.size()) + size;
    window_.clear();
    scan_.size += size;
    scan_.holeBytes += static_cast<uint64_t>(size);
}

// As the reader does it: a packet counts when its sync byte and the next packet's are both in
// place, so the last packet of the data so far waits for more; anything else is skipped.
void RecordingScanner::FindPackets() {
    size_t cursor = 0;
    while (window_.size() - cursor > static_cast<size_t>(kTsPacketSize)) {
        const uint8_t* at = window_.data() + cursor;
        if (at[0] == kTsSyncByte && at[kTsPacketSize] == kTsSyncByte) {
            Route(at, windowStart_ + static_cast<int64_t>(cursor));
            skipping_ = false;
            cursor += kTsPacketSize;
        } else {
            scan_.resyncs += skipping_ ? 0 : 1;
            skipping_ = true;
            ++cursor;
        }
    }
    window_.erase(window_.begin(), window_.begin() + static_cast<ptrdiff_t>(cursor));
    windowStart_ += static_cast<int64_t>(cursor);
}

void RecordingScanner::Route(const uint8_t* packet, int64_t position) {
    ++scan_.packets;
    const TsPacket p = ParseTsPacket(packet);
    if (p.transportError) {
        ++scan_.errorPackets;
        return;
    }
    TrackContinuity(packet);
    const bool textStart =
        demux_.psi.pidsKnown && p.pid == demux_.psi.dataPid && p.payloadUnitStart && p.Routable();
    if (textStart) {
        // This packet completes the text gathered so far: that one's time goes with it.
        pendingPts_ = textPts_;
        pendingPos_ = textPos_;
    }
    RoutePacket(demux_, packet, outputs_, controls_, PacketFlow::kForward);
    TakeText();
    NoteTimes(packet);
    if (textStart) {
        textPts_ = PesTime(p);
        textPos_ = position;
    }
}

void RecordingScanner::TrackContinuity(const uint8_t* packet) {
    const TsPacket p = ParseTsPacket(packet);
    if (!demux_.psi.pidsKnown || !p.Routable()) {
        return;
    }
    const int pids[kSlots] = {demux_.psi.videoPid, demux_.psi.audioPid, demux_.psi.dataPid};
    for (int slot = 0; slot < kSlots; ++slot) {
        if (p.pid != pids[slot] || pids[slot] == kNoPid) {
            continue;
        }
        const int counter = packet[3] & 0x0F;
        int& last = continuity_[slot];
        if (DiscontinuityAnnounced(packet, p.afc) || last < 0) {
            last = HasPayload(p.afc) ? counter : last;
        } else if (HasPayload(p.afc) && counter != last) {
            // A repeated counter is a permitted duplicate; any other jump skipped packets.
            scan_.lostPackets +=
                static_cast<uint64_t>((counter - last - 1 + kContinuityModulo) % kContinuityModulo);
            last = counter;
        }
        return;
    }
}

void RecordingScanner::NoteTimes(const uint8_t* packet) {
    const TsPacket p = ParseTsPacket(packet);
    if (!firstVideoPts_ && demux_.psi.pidsKnown && p.pid == demux_.psi.videoPid && p.Routable()) {
        firstVideoPts_ = PesTime(p);
    }
}

void RecordingScanner::TakeText() {
    if (!telemetry_.Take(text_)) {
        return;
    }
    const PendingTime time{pendingPts_, texts_++};
    constexpr double kAbsent = std::numeric_limits<double>::quiet_NaN();
    GSensorRecord g{kAbsent, kAbsent, kAbsent};
    GpsRecord fix;
    const bool fixed = ParseTelemetry(text_, g, fix);
    const auto plausible = [](double v) { return std::fabs(v) <= kMaxPlausibleG; };
    if (plausible(g.x) && plausible(g.y) && plausible(g.z)) {
        scan_.samples.push_back({0.0, g, pendingPos_});
        sampleTimes_.push_back(time);
    }
    if (fixed && !scan_.firstFix) {
        if (const std::optional<int64_t> utc = ParseRmcUtcMs(text_)) {
            scan_.firstFix = GpsTimeFix{0.0, *utc};
            fixTime_ = time;
        }
    }
}

const RecordingScan& RecordingScanner::Finish() {
    if (finished_) {
        return scan_;
    }
    finished_ = true;
    if (window_.size() >= static_cast<size_t>(kTsPacketSize) && window_[0] == kTsSyncByte) {
        Route(window_.data(), windowStart_);
        window_.erase(window_.begin(), window_.begin() + kTsPacketSize);
    }
    scan_.tailBytes = window_.size();
    pendingPts_ = textPts_;
    pendingPos_ = textPos_;
    FlushPendingPes(demux_, outputs_, controls_);
    TakeText();
    scan_.drops = demux_.drops;
    SettleTimes();
    demux_.ReleaseBuffers();
    return scan_;
}

// Texts are timed by their own stamps against the first picture; a stream without stamps is
// taken to carry one text a second, as cameras write them.
void RecordingScanner::SettleTimes() {
    const auto seconds = [this](const PendingTime& t) {
        if (t.pts && firstVideoPts_) {
            return std::fmax(0.0, *t.pts - *firstVideoPts_);
        }
        return static_cast<double>(t.textIndex);
    };
    for (size_t i = 0; i < scan_.samples.size(); ++i) {
        scan_.samples[i].seconds = seconds(sampleTimes_[i]);
    }
    if (scan_.firstFix) {
        scan_.firstFix->seconds = seconds(fixTime_);
    }
}

bool ScanRecordingFile(const std::string& path, const std::atomic<bool>& stop, RecordingScan& scan,
                       std::string& error) {
    const UniqueFd fd = OpenRegularFile(path);
    if (fd.Get() < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    const int64_t fileEnd = ::fstat(fd.Get(), &info) == 0 ? info.st_size : INT64_MAX;
    RecordingScanner scanner;
    std::vector<uint8_t> block(kScanBlock);
    for (int64_t at = 0;;) {
        if (stop.load()) {
            error = "stopped";
            return false;
        }
        const int64_t data = NextDataOffset(fd.Get(), at, fileEnd);
        scanner.SkipHole(data - at);
        at = data;
        const ssize_t n = ::pread(fd.Get(), block.data(), block.size(), static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = "cannot read " + path + ": " + std::strerror(errno);
            return false;
        }
        if (n == 0) {
            break;
        }
        scanner.Feed(block.data(), static_cast<size_t>(n));
        at += n;
    }
    scan = scanner.Finish();
    return true;
}

}  // namespace velmaro
