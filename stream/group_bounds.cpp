// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream/group_bounds.h"
#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/unique_fd.h"
#include "stream/frame_item.h"
#include "stream/frame_scan.h"
#include "stream/pes.h"
#include "stream/ts_packet.h"

namespace velmaro {
namespace {

constexpr size_t kReadSize = 64 * 1024;

// Reads a file forward in large pieces and hands out its packets with their positions,
// stepping over bytes between packets as the reader does.
class PacketWalk {
  public:
    PacketWalk(int fd, int64_t from, int64_t size)
        : fd_(fd), base_(from), size_(size), buffer_(kReadSize + kTsPacketSize) {}

    // False at the end of the file or on a read error.
    bool Next(const uint8_t*& packet, int64_t& position) {
        while (true) {
            if (fill_ - cursor_ < static_cast<size_t>(kTsPacketSize) && !Refill()) {
                return false;
            }
            if (buffer_[cursor_] == kTsSyncByte) {
                packet = buffer_.data() + cursor_;
                position = base_ + static_cast<int64_t>(cursor_);
                cursor_ += kTsPacketSize;
                return true;
            }
            ++cursor_;
        }
    }

  private:
    bool Refill() {
        const size_t kept = fill_ - cursor_;
        std::memmove(buffer_.data(), buffer_.data() + cursor_, kept);
        base_ += static_cast<int64_t>(cursor_);
        cursor_ = 0;
        fill_ = kept;
        const int64_t at = base_ + static_cast<int64_t>(kept);
        if (at >= size_) {
            return false;
        }
        ssize_t n;
        do {
            n = ::pread(fd_, buffer_.data() + kept, buffer_.size() - kept, at);
        } while (n < 0 && errno == EINTR);
        if (n <= 0) {
            return false;
        }
        fill_ += static_cast<size_t>(n);
        return fill_ >= static_cast<size_t>(kTsPacketSize);
    }

    int fd_;
    int64_t base_;  // file position of buffer_[0]
    int64_t size_;
    std::vector<uint8_t> buffer_;
    size_t fill_ = 0;
    size_t cursor_ = 0;
};

bool IsKeyFrame(const std::vector<uint8_t>& pes, VideoCodec codec) {
    PesHeader header;
    if (!ParsePesHeader(pes.data(), static_cast<int>(pes.size()), header) ||
        header.payloadOffset >= static_cast<int>(pes.size())) {
        return false;
    }
    return ScanFrameKind(pes.data() + header.payloadOffset,
                         static_cast<int>(pes.size()) - header.payloadOffset, nullptr, codec)
               .kind == kKindVideoKey;
}

}  // namespace

int64_t FindGroupEnd(const std::string& path, int videoPid, int64_t picturePos, VideoCodec codec) {
    UniqueFd fd = OpenRegularFile(path);
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || picturePos < 0) {
        return -1;
    }
    const int64_t size = st.st_size;
    const int64_t limit = picturePos + kGroupEndSearchLimit;
    PacketWalk walk(fd.Get(), picturePos, size);
    std::vector<uint8_t> pes;
    int64_t pesStart = -1;  // the PES being gathered; the picture's own is never a candidate
    const uint8_t* bytes = nullptr;
    int64_t position = 0;
    while (walk.Next(bytes, position)) {
        if (position >= limit) {
            return limit;
        }
        const TsPacket packet = ParseTsPacket(bytes);
        if (!packet.Routable() || packet.pid != videoPid) {
            continue;
        }
        if (packet.payloadUnitStart) {
            if (pesStart > picturePos && IsKeyFrame(pes, codec)) {
                return pesStart;
            }
            pes.clear();
            pesStart = position;
        }
        if (pesStart >= 0 && pes.size() < static_cast<size_t>(kPesBufferSize)) {
            pes.insert(pes.end(), packet.Payload(), packet.Payload() + packet.payloadLength);
        }
    }
    return pesStart > picturePos && IsKeyFrame(pes, codec) ? pesStart : size;
}

}  // namespace velmaro
