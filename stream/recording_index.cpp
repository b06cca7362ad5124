// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream/recording_index.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>

#include "platform/camera_clock.h"
#include "platform/unique_fd.h"
#include "stream/pes.h"
#include "stream/psi.h"
#include "stream/recording_files.h"
#include "stream/ts_packet.h"

namespace velmaro {
namespace {

// The geometry of the reader's backward step, which the duration walk copies so that both find
// the same packets.
constexpr int kReadBlockSize = 8192;
constexpr int64_t kBackwardStride = 2 * kReadBlockSize;
constexpr int kWindowSize = 9500;
constexpr int kLastWindowByte = kWindowSize - 1;
// The camera writes its PAT and PMT at the very start; a file without them in its first 32 KiB is
// read with the camera's video PID.
constexpr int kPsiProbeBlocks = 4;
constexpr int kPsiProbeSize = kPsiProbeBlocks * kReadBlockSize;
constexpr int kCameraVideoPid = 0x1011;
constexpr int64_t kPerMille = 1000;

// A time as the user gave it, without the trailing zeros of a fixed format.
std::string FormatSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

ssize_t ReadAt(int fd, uint8_t* into, int size, int64_t offset) {
    ssize_t n = 0;
    do {
        n = ::pread(fd, into, static_cast<size_t>(size), static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    return n;
}

// Finds the last video time of a file by walking backward from its end. Its buffers are allocated
// once and reused for every file of a scan. Times below a second count as none.
class TailScanner {
  public:
    TailScanner() {
        try {
            window_ = std::make_unique_for_overwrite<uint8_t[]>(kWindowSize);
            block_ = std::make_unique_for_overwrite<uint8_t[]>(kPsiProbeSize);
        } catch (const std::bad_alloc&) {
            window_.reset();
            block_.reset();
        }
        ready_ = window_ && block_ && pes_.Allocate();
    }

    int32_t Duration(const std::string& path, const std::atomic<int32_t>& running) {
        return static_cast<int32_t>(std::trunc(LastTime(path, running)));
    }

    double LastTime(const std::string& path, const std::atomic<int32_t>& running) {
        if (!ready_) {
            return 0.0;
        }
        // Non-blocking, so that a FIFO named like a recording cannot stall the scan in open().
        const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        struct stat st {};
        if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
            st.st_size <= kBackwardStride) {
            return 0.0;  // a file this short has only its first block, which is never examined
        }
        return WalkBack(fd.Get(), st.st_size, VideoPid(fd.Get()), running);
    }

  private:
    int VideoPid(int fd) {
        PsiState psi;
        int filled = 0;
        int at = 0;
        for (int b = 0; b < kPsiProbeBlocks && !psi.pidsKnown; ++b) {
            const ssize_t n = ReadAt(fd, block_.get() + filled, kReadBlockSize, filled);
            if (n <= 0) {
                break;
            }
            filled += static_cast<int>(n);
            // Forward, as the reader finds packets: a sync byte with the next one a packet on.
            while (at + kTsPacketSize < filled && !psi.pidsKnown) {
                if (block_[at] != kTsSyncByte || block_[at + kTsPacketSize] != kTsSyncByte) {
                    ++at;
                    continue;
                }
                const TsPacket packet = ParseTsPacket(block_.get() + at);
                if (packet.Routable()) {
                    PsiStep(psi, packet);
                }
                at += kTsPacketSize;
            }
        }
        return psi.pidsKnown && psi.videoPid != kNoPid ? psi.videoPid : kCameraVideoPid;
    }

    double WalkBack(int fd, int64_t size, int videoPid, const std::atomic<int32_t>& running) {
        available_ = 0;
        cursor_ = kLastWindowByte;
        pes_.Reset();
        int64_t position = size;
        while (running.load(std::memory_order_relaxed)) {
            // The unexamined bytes end at the cursor; they go to the end of the window, and the
            // block read before them in the file goes in front of them.
            uint8_t* w = window_.get();
            std::memmove(w + kWindowSize - available_, w + cursor_ - available_ + 1, available_);
            cursor_ = kLastWindowByte;
            const int64_t from = position - std::min(position, kBackwardStride);
            const ssize_t n = ReadAt(fd, block_.get(), kReadBlockSize, from);
            if (n < 0) {
                return 0.0;
            }
            position = from + n;
            if (position <= n) {
                return 0.0;  // this block begins the file
            }
            if (available_ + n > kWindowSize) {
                available_ = 0;  // the loop below leaves at most one packet; never overrun
            }
            std::memcpy(w + kWindowSize - available_ - n, block_.get(), static_cast<size_t>(n));
            available_ += static_cast<int>(n);
            if (const double time = WalkWindow(videoPid); time > 0.0) {
                return time;
            }
        }
        return 0.0;
    }

    // A packet is taken where a sync byte has another one a packet's length before it.
    double WalkWindow(int videoPid) {
        const uint8_t* w = window_.get();
        while (available_ > kTsPacketSize) {
            if (w[cursor_] != kTsSyncByte || w[cursor_ - kTsPacketSize] != kTsSyncByte) {
                --cursor_;
                --available_;
                continue;
            }
            const TsPacket packet = ParseTsPacket(w + cursor_ - kTsPacketSize);
            cursor_ -= kTsPacketSize;
            available_ -= kTsPacketSize;
            if (!packet.Routable() || packet.pid != videoPid) {
                continue;
            }
            pes_.Prepend(packet.Payload(), packet.payloadLength);
            if (packet.payloadUnitStart) {
                const double time = GatheredPesTime();
                pes_.Reset();
                if (time > 0.0) {
                    return time;
                }
            }
        }
        return 0.0;
    }

    // The gathered PES's presentation time; 0 when it is below a second, or the PES has none or
    // carries nothing after its header.
    double GatheredPesTime() const {
        PesHeader header;
        if (pes_.Overflowed() || !ParsePesHeader(pes_.Bytes(), pes_.Fill(), header) ||
            !header.HasTime() || pes_.Fill() <= header.payloadOffset || header.pts < 1.0) {
            return 0.0;
        }
        return header.pts;
    }

    std::unique_ptr<uint8_t[]> window_;
    std::unique_ptr<uint8_t[]> block_;  // one backward read, or the first blocks for the PMT
    PesBuffer pes_;
    bool ready_ = false;
    int available_ = 0;  // unexamined bytes in the window, ending at the cursor
    int cursor_ = kLastWindowByte;
};

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// A symbolic link counts by what it points to; an entry whose attributes cannot be read counts
// by what the folder listing says it is.
bool IsRegularEntry(const dirent& e, bool statOk, const struct stat& st) {
    return statOk ? S_ISREG(st.st_mode) : e.d_type == DT_REG;
}

RecordingEntry MakeEntry(const std::string& path, bool statOk, const struct stat& st,
                         const CameraClock& clock, TailScanner& scanner,
                         const std::atomic<int32_t>& running) {
    RecordingEntry entry;
    entry.number = RecordingNumber(path);
    entry.path = path;
    entry.endTime = statOk ? clock.CalendarSeconds(st.st_mtim.tv_sec) : 0;
    entry.startTime = entry.endTime - scanner.Duration(path, running);
    entry.readOnly = statOk && (st.st_mode & S_IWUSR) != 0 ? 0 : 1;
    return entry;
}

void SortByNumber(std::vector<RecordingEntry>& list) {
    std::stable_sort(
        list.begin(), list.end(),
        [](const RecordingEntry& a, const RecordingEntry& b) { return a.number < b.number; });
}

}  // namespace

int64_t LastWriteTime(const std::string& path, const std::string& mountInfoPath) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return 0;
    }
    return CameraClock::ForFolder(FolderOf(path), mountInfoPath).CalendarSeconds(st.st_mtim.tv_sec);
}

int32_t RecordingDuration(const std::string& path) {
    return static_cast<int32_t>(std::trunc(LastVideoTime(path)));
}

double LastVideoTime(const std::string& path) {
    const std::atomic<int32_t> always{1};
    TailScanner scanner;
    return scanner.LastTime(path, always);
}

std::optional<RecordingMoment> FindRecordingMoment(const std::vector<RecordingEntry>& entries,
                                                   int64_t time) {
    // The list is in number order, which is time order on a camera's card; the first file that
    // ends after the moment holds it, or follows the gap it fell in.
    for (const RecordingEntry& e : entries) {
        if (e.endTime <= time) {
            continue;
        }
        const auto duration = static_cast<double>(e.endTime - e.startTime);
        const auto into = static_cast<double>(time - e.startTime);
        return RecordingMoment{e.path, PerMilleOfDuration(into, duration)};
    }
    return std::nullopt;
}

int32_t PerMilleOfDuration(double into, double duration) {
    if (!(duration > 0.0) || !(into > 0.0)) {
        return 0;
    }
    return static_cast<int32_t>(
        std::min(std::floor(into * static_cast<double>(kPerMille) / duration),
                 static_cast<double>(kPerMille - 1)));
}

std::optional<int64_t> PositionAtTime(const std::string& path, double seconds, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "cannot read " + path + ": not a regular file";
        return std::nullopt;
    }
    const int32_t duration = RecordingDuration(path);
    if (duration <= 0) {
        error = "cannot read a duration from " + path + ": no timed video in it";
        return std::nullopt;
    }
    if (seconds < 0.0 || seconds > duration) {
        error = path + " lasts " + std::to_string(duration) + " s; " + FormatSeconds(seconds) +
                " s is past its end";
        return std::nullopt;
    }
    return PerMilleOfDuration(seconds, duration) * static_cast<int64_t>(st.st_size) / kPerMille;
}

std::vector<RecordingEntry> ScanFolder(const std::string& folder,
                                       const std::atomic<int32_t>& running,
                                       const std::string& mountInfoPath) {
    std::vector<RecordingEntry> list;
    const DirHandle dir(::opendir(folder.empty() ? "." : folder.c_str()));
    if (!dir) {
        return list;
    }
    const CameraClock clock = CameraClock::ForFolder(folder, mountInfoPath);
    TailScanner scanner;
    while (running.load()) {
        const dirent* e = ::readdir(dir.get());
        if (e == nullptr) {
            break;
        }
        if (!IsRecordingName(e->d_name)) {
            continue;
        }
        const std::string path = folder + e->d_name;
        struct stat st {};
        const bool statOk = ::stat(path.c_str(), &st) == 0;
        if (IsRegularEntry(*e, statOk, st)) {
            list.push_back(MakeEntry(path, statOk, st, clock, scanner, running));
        }
    }
    return list;
}

RecordingIndex::RecordingIndex(MessageSink* panel) : panel_(panel) {}

RecordingIndex::~RecordingIndex() {
    Stop();
}

bool RecordingIndex::Load(const std::string& path) {
    Stop();  // an earlier scan must not hand its list over after this one has emptied it
    Publish({});
    path_ = path;
    return Start();
}

bool RecordingIndex::Start() {
    Stop();
    running_.store(1);
    try {
        thread_ = std::thread([this] {
            Run();
            running_.store(0);
        });
    } catch (const std::system_error&) {
        running_.store(0);
        return false;
    }
    return true;
}

void RecordingIndex::Stop() {
    running_.store(0);
    if (thread_.joinable()) {
        thread_.join();
    }
}

int32_t RecordingIndex::Run() {
    if (RecordingNumber(path_) < 0) {
        return 0;  // a file outside a numbered recording: nothing to list
    }
    PostToPanel(kMsgTelemetry);  // from the finder: a background scan begins
    std::vector<RecordingEntry> list = ScanFolder(FolderOf(path_), running_);
    if (running_.load() == 0) {
        return 0;  // stopped part-way: the list is incomplete, so nobody gets it
    }
    SortByNumber(list);
    Publish(std::move(list));
    PostToPanel(kMsgReset);  // from the finder: the list is ready
    return 0;
}

void RecordingIndex::ScanNow(const std::string& path) {
    Stop();  // a background scan finishing later would replace this list with an older one
    running_.store(1);
    std::vector<RecordingEntry> list = ScanFolder(FolderOf(path), running_);
    running_.store(0);
    SortByNumber(list);
    Publish(std::move(list));
}

void RecordingIndex::Append(const std::vector<RecordingEntry>& entries) {
    std::lock_guard lock(entriesMutex_);
    entries_.insert(entries_.end(), entries.begin(), entries.end());
}

std::vector<RecordingEntry> RecordingIndex::Entries() const {
    std::lock_guard lock(entriesMutex_);
    return entries_;
}

void RecordingIndex::Publish(std::vector<RecordingEntry> list) {
    std::lock_guard lock(entriesMutex_);
    entries_.swap(list);
    // The old list is freed when `list` goes out of scope, after the lock is released.
}

void RecordingIndex::PostToPanel(uint32_t msg) {
    if (panel_ != nullptr) {
        panel_->Post(msg, 0, 0);
    }
}

}  // namespace velmaro
