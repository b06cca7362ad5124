// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/track_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>
#include <set>
#include <vector>

#include "platform/data_extents.h"
#include "platform/regular_file.h"
#include "platform/unique_fd.h"
#include "stream/recording_files.h"
#include "stream/recording_index.h"
#include "stream/rmc_time.h"
#include "stream/ts_packet.h"

namespace velmaro {
namespace {

constexpr size_t kReadSize = 64 * 1024;
constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();
// A chain of "next" files longer than any card holds means the numbers loop; it is cut.
constexpr int kMaxStretchFiles = 100000;
// The text of a picture's second lies before the picture, a second of stream at most: 4 MiB is
// that at 32 Mb/s, thrice a camera's rate. A text muxed just after a picture of its own time is
// found in the stretch after it.
constexpr int64_t kTextSearchBefore = 4 * 1024 * 1024;
constexpr int64_t kTextSearchAfter = 512 * 1024;
constexpr size_t kTablesSearchBytes = 256 * 1024;  // as far as the reader looks for them
// A text stamped with the picture's own time is the picture's.
constexpr double kSameMoment = 0.001;

ssize_t ReadAt(int fd, uint8_t* into, size_t size, int64_t at) {
    ssize_t n;
    do {
        n = ::pread(fd, into, size, static_cast<off_t>(at));
    } while (n < 0 && errno == EINTR);
    return n;
}

// Packets on the reader's grid: a sync byte with another one a packet further on; at the end of
// the file a last whole packet that starts with one.
class PacketFinder {
  public:
    PacketFinder(TelemetryCollector& collector, int64_t base)
        : collector_(collector), base_(base) {}

    void Take(const uint8_t* bytes, size_t count) {
        buffer_.insert(buffer_.end(), bytes, bytes + count);
        size_t at = 0;
        while (buffer_.size() - at > static_cast<size_t>(kTsPacketSize)) {
            if (buffer_[at] == kTsSyncByte && buffer_[at + kTsPacketSize] == kTsSyncByte) {
                collector_.Feed(buffer_.data() + at, base_ + static_cast<int64_t>(at));
                at += kTsPacketSize;
            } else {
                ++at;
            }
        }
        Drop(at);
    }

    // A hole of a sparse file: a whole packet held before it is taken as at the end of a file,
    // a cut one is lost; reading goes on at `offset`.
    void JumpTo(int64_t offset) {
        TakeHeldPacket();
        buffer_.clear();
        base_ = offset;
    }

    void Finish() {
        TakeHeldPacket();
        collector_.Finish();
    }

  private:
    void TakeHeldPacket() {
        if (buffer_.size() >= static_cast<size_t>(kTsPacketSize) && buffer_[0] == kTsSyncByte) {
            collector_.Feed(buffer_.data(), base_);
        }
    }

    void Drop(size_t count) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<ptrdiff_t>(count));
        base_ += static_cast<int64_t>(count);
    }

    TelemetryCollector& collector_;
    std::vector<uint8_t> buffer_;
    int64_t base_ = 0;  // file offset of buffer_[0]
};

// Feeds the bytes from `from` up to `to` to the collector. Only the file's end completes the
// text still being gathered; one cut off at `to` is left out.
bool FeedRange(int fd, const std::string& path, int64_t from, int64_t to,
               TelemetryCollector& collector, std::string& error, const Cancelled& cancelled) {
    PacketFinder finder(collector, from);
    std::vector<uint8_t> block(kReadSize);
    struct stat info {};
    const int64_t fileEnd = ::fstat(fd, &info) == 0 ? info.st_size : kNoLimit;
    for (int64_t at = from; at < to;) {
        if (cancelled && cancelled()) {
            error = "stopped";
            return false;
        }
        const int64_t data = NextDataOffset(fd, at, fileEnd);
        if (data != at) {
            if (data >= fileEnd) {
                finder.Finish();  // only a hole follows: the end of the data
                break;
            }
            finder.JumpTo(data);
            at = data;
            continue;
        }
        const auto want = static_cast<size_t>(std::min<int64_t>(kReadSize, to - at));
        const ssize_t n = ReadAt(fd, block.data(), want, at);
        if (n < 0) {
            error = SystemError("cannot read " + path, errno);
            return false;
        }
        if (n == 0) {
            finder.Finish();
            break;
        }
        finder.Take(block.data(), static_cast<size_t>(n));
        at += n;
    }
    return true;
}

// The program tables at the head of the file, for reading that starts inside it. Nothing after
// them is fed, so no text of the head is collected.
void FeedTables(int fd, TelemetryCollector& collector) {
    std::vector<uint8_t> head(kTablesSearchBytes);
    const ssize_t n = ReadAt(fd, head.data(), head.size(), 0);
    for (ssize_t at = 0; at + kTsPacketSize < n && !collector.TablesKnown();) {
        if (head[at] == kTsSyncByte && head[at + kTsPacketSize] == kTsSyncByte) {
            collector.Feed(head.data() + at, at);
            at += kTsPacketSize;
        } else {
            ++at;
        }
    }
}

// The file's last picture time, which the file time stands for.
double LastVideoPts(const TelemetryCollector& collector) {
    const std::vector<VideoStart>& starts = collector.VideoStarts();
    return starts.empty() ? 0.0 : starts.back().pts;
}

bool CollectInto(const std::string& path, int64_t fromPos, int64_t toPos, GSensorRecord& gsensor,
                 TrackResult& result, const Cancelled& cancelled, bool takeOrigin) {
    TelemetryCollector collector;
    if (!CollectFileTelemetry(path, collector, result.error, cancelled)) {
        return false;
    }
    ++result.files;
    const double fileEnd = static_cast<double>(LastWriteTime(path));
    const size_t before = result.points.size();
    AppendPoints(collector, fromPos, toPos, fileEnd, gsensor, result.points);
    if (takeOrigin) {
        const double last = LastVideoPts(collector);
        const std::vector<VideoStart>& starts = collector.VideoStarts();
        const auto first = std::find_if(starts.begin(), starts.end(), [&](const VideoStart& v) {
            return v.pos >= fromPos && v.pos < toPos;
        });
        if (first != starts.end()) {
            result.origin = fileEnd - (last - first->pts);
        } else if (result.points.size() > before) {
            result.origin = result.points[before].cameraTime;
        }
    }
    return true;
}

}  // namespace

bool CollectFileTelemetry(const std::string& path, TelemetryCollector& collector,
                          std::string& error, const Cancelled& cancelled) {
    const UniqueFd fd = OpenRegularFile(path);
    if (!fd.Valid()) {
        error = SystemError("cannot open " + path, errno);
        return false;
    }
    return FeedRange(fd.Get(), path, 0, kNoLimit, collector, error, cancelled);
}

bool CollectPictureTelemetry(const std::string& path, int64_t picturePos, double pts,
                             PictureTelemetry& result, std::string& error) {
    const double fileEnd = static_cast<double>(LastWriteTime(path));
    const double last = LastVideoTime(path);
    if (fileEnd <= 0.0 || last <= 0.0) {
        error = "no time is known for the pictures of " + path;
        return false;
    }
    result.cameraTime = fileEnd - (last - pts);
    const UniqueFd fd = OpenRegularFile(path);
    if (!fd.Valid()) {
        error = SystemError("cannot open " + path, errno);
        return false;
    }
    TelemetryCollector collector;
    const int64_t from = std::max<int64_t>(0, picturePos - kTextSearchBefore);
    if (from > 0) {
        FeedTables(fd.Get(), collector);
    }
    if (!FeedRange(fd.Get(), path, from, picturePos + kTextSearchAfter, collector, error, {})) {
        return false;
    }
    // Placed as the track places the texts of the whole file.
    GSensorRecord gsensor;
    TrackPoints points;
    AppendPoints(collector, from, kNoLimit, fileEnd - (last - LastVideoPts(collector)), gsensor,
                 points);
    result.text.reset();
    for (const TrackPoint& point : points) {
        if (point.cameraTime <= result.cameraTime + kSameMoment) {
            result.text = point;
        }
    }
    return true;
}

void AppendPoints(const TelemetryCollector& collector, int64_t fromPos, int64_t toPos,
                  double fileEnd, GSensorRecord& gsensor, TrackPoints& points) {
    const double last = LastVideoPts(collector);
    for (const CollectedText& text : collector.Texts()) {
        if (text.pos < fromPos || text.pos >= toPos) {
            continue;
        }
        TrackPoint point;
        point.valid = ParseTelemetry(text.text, gsensor, point.fix);
        if (!point.valid) {
            point.fix = GpsRecord{};  // a sentence refused half-way leaves nothing of itself
        }
        point.gsensor = gsensor;
        point.utcMs = ParseRmcUtcMs(text.text);
        point.cameraTime = text.timed ? fileEnd - (last - text.pts) : fileEnd;
        points.push_back(point);
    }
}

TrackResult CollectRecordingTrack(const std::string& path, const Cancelled& cancelled) {
    TrackResult result;
    GSensorRecord gsensor;
    result.ok = CollectInto(path, 0, kNoLimit, gsensor, result, cancelled, true);
    return result;
}

TrackResult CollectStretchTrack(const ClipMarks& marks, const Cancelled& cancelled) {
    TrackResult result;
    if (!MarksInOrder(marks)) {
        result.error = "the mark-in does not lie before the mark-out";
        return result;
    }
    GSensorRecord gsensor;
    std::set<std::string> seen;
    std::string path = marks.inPath;
    for (int i = 0; i < kMaxStretchFiles; ++i) {
        const bool isIn = path == marks.inPath;
        const bool isOut = path == marks.outPath;
        const int64_t from = isIn ? marks.inPos : 0;
        const int64_t to = isOut ? marks.outPos : kNoLimit;
        if (!seen.insert(path).second ||
            !CollectInto(path, from, to, gsensor, result, cancelled, isIn)) {
            return result;
        }
        if (isOut) {
            result.ok = true;
            return result;
        }
        path = FindAdjacentRecording(path, +1);
        if (path.empty()) {
            result.error = "the recordings end before the mark-out file";
            return result;
        }
    }
    result.error = "the recordings between the marks do not end";
    return result;
}

TrackResult CollectDayTrack(const std::string& folder, CivilDate date, const Cancelled& cancelled,
                            int64_t shift) {
    TrackResult result;
    const std::atomic<int32_t> running{1};
    std::vector<RecordingEntry> day = ScanFolder(folder, running);
    std::erase_if(
        day, [&](const RecordingEntry& e) { return !(LocalDateOf(e.startTime + shift) == date); });
    std::stable_sort(day.begin(), day.end(), [](const RecordingEntry& a, const RecordingEntry& b) {
        return a.startTime != b.startTime ? a.startTime < b.startTime : a.number < b.number;
    });
    if (day.empty()) {
        result.error = "no recording starts on that day";
        return result;
    }
    GSensorRecord gsensor;
    for (const RecordingEntry& entry : day) {
        if (!CollectInto(entry.path, 0, kNoLimit, gsensor, result, cancelled, result.files == 0)) {
            return result;
        }
    }
    result.ok = true;
    return result;
}

}  // namespace velmaro
