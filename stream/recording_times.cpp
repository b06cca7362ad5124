// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream/recording_times.h"

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/regular_file.h"
#include "stream/pes.h"
#include "stream/psi.h"
#include "stream/recording_index.h"
#include "stream/ts_packet.h"

namespace velmaro {
namespace {

// The first picture is near the start: the tables come first, and a picture within the first
// second or two of stream; a file with none in this much holds nothing a player would show.
constexpr int kHeadBytes = 2 * 1024 * 1024;
constexpr int kCameraVideoPid = 0x1011;
// The reader's time base: 32 bits of a 90 kHz clock, read signed.
constexpr double kTimeWrap = 4294967296.0 / kPesClockHz;

// The presentation time of the first timed video PES in `bytes`, or a negative number.
bool FirstVideoTime(const uint8_t* bytes, int size, double& time) {
    PsiState psi;
    for (int at = 0; at + kTsPacketSize <= size;) {
        if (bytes[at] != kTsSyncByte) {
            ++at;
            continue;
        }
        const TsPacket packet = ParseTsPacket(bytes + at);
        at += kTsPacketSize;
        if (!packet.Routable()) {
            continue;
        }
        if (!psi.pidsKnown) {
            PsiStep(psi, packet);
        }
        const int videoPid =
            psi.pidsKnown && psi.videoPid != kNoPid ? psi.videoPid : kCameraVideoPid;
        PesHeader header;
        if (packet.pid == videoPid && packet.payloadUnitStart &&
            ParsePesHeader(packet.Payload(), packet.payloadLength, header) && header.HasTime()) {
            time = header.pts;
            return true;
        }
    }
    return false;
}

}  // namespace

RecordingTimes ReadRecordingTimes(const std::string& path) {
    RecordingTimes times;
    const UniqueFd fd = OpenRegularFile(path);
    if (!fd.Valid()) {
        return times;
    }
    std::vector<uint8_t> head(kHeadBytes);
    const ssize_t n = ::pread(fd.Get(), head.data(), head.size(), 0);
    if (n <= 0 || !FirstVideoTime(head.data(), static_cast<int>(n), times.firstPts)) {
        return times;
    }
    times.lastPts = LastVideoTime(path);
    times.endTime = LastWriteTime(path);
    return times;
}

PictureMoment LocatePicture(const RecordingTimes& times, double pts) {
    const auto sinceFirst = [&times](double t) {
        double d = t - times.firstPts;
        return d < 0.0 && d < -kTimeWrap / 2 ? d + kTimeWrap : d;
    };
    PictureMoment moment;
    moment.length = std::max(0.0, sinceFirst(times.lastPts));
    moment.position = std::clamp(sinceFirst(pts), 0.0, moment.length);
    moment.cameraTime = static_cast<double>(times.endTime) - (moment.length - moment.position);
    return moment;
}

}  // namespace velmaro
