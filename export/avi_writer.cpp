// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/avi_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <utility>

namespace velmaro {
namespace {

constexpr size_t kWriteBuffer = size_t{1} << 20;
// Chunks at least this big skip the buffer: copying them would cost more than the write.
constexpr size_t kDirectWrite = kWriteBuffer / 2;
// ix## entries keep the key-frame flag in bit 31 of the size.
constexpr size_t kMaxChunkData = 0x7FFFFFFF - 8;

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAvifIsInterleaved = 0x100;
constexpr uint32_t kAviifKeyFrame = 0x10;
constexpr uint8_t kIndexOfIndexes = 0x00;
constexpr uint8_t kIndexOfChunks = 0x01;
constexpr uint16_t kSuperIndexLongsPerEntry = 4;
constexpr uint16_t kStandardIndexLongsPerEntry = 2;

constexpr uint32_t kMicrosecondsPerSecond = 1000000;
constexpr uint32_t kVideoScale = 1000;
constexpr uint32_t kUnknownQuality = 0xFFFFFFFF;
constexpr uint16_t kPlanes = 1;
constexpr uint16_t kBitsPerPixel = 24;
constexpr uint16_t kWaveFormatPcm = 1;
constexpr uint16_t kAudioChannels = 1;
constexpr uint32_t kAudioSampleRate = 48000;
constexpr uint16_t kAudioBlockAlign = 2;  // bytes per sample frame: one 16-bit channel
constexpr uint16_t kAudioBits = 16;
constexpr uint32_t kAudioScale = kAudioBlockAlign;
constexpr uint32_t kAudioRate = kAudioSampleRate * kAudioBlockAlign;
constexpr int kMaxDimension = 32767;  // the frame rectangle holds 16-bit values
constexpr double kMinFrameRate = 1.0;
constexpr double kMaxFrameRate = 1000.0;
constexpr uint32_t kNtscScale = 1001;
// How far from a whole number a rate (or a rate times 1.001) may lie and still be taken for it:
// far below the 1/1001 step, far above what a double loses on the way here.
constexpr double kWholeTolerance = 1e-6;

// Header layout; every size below is fixed, which keeps the 'movi' list at kAviHeaderBytes.
constexpr uint32_t kChunkHeader = 8;
constexpr uint32_t kListHeader = 12;
constexpr uint32_t kAvihSize = 56;
constexpr uint32_t kStrhSize = 56;
constexpr uint32_t kBitmapInfoSize = 40;
constexpr uint32_t kWaveFormatSize = 18;
constexpr uint32_t kSuperIndexHeader = 24;
constexpr uint32_t kSuperIndexEntry = 16;
constexpr uint32_t kSuperIndexSize =
    kSuperIndexHeader + kAviSuperIndexEntries * kSuperIndexEntry;  // 4120
constexpr uint32_t kDmlhSize = 248;
constexpr uint32_t kOdmlSize = 4 + kChunkHeader + kDmlhSize;  // 260
constexpr uint32_t kVideoStrlSize = 4 + (kChunkHeader + kStrhSize) +
                                    (kChunkHeader + kBitmapInfoSize) +
                                    (kChunkHeader + kSuperIndexSize);  // 4244
constexpr uint32_t kAudioStrlSize = 4 + (kChunkHeader + kStrhSize) +
                                    (kChunkHeader + kWaveFormatSize) +
                                    (kChunkHeader + kSuperIndexSize);  // 4222
constexpr uint32_t kHdrlSize = 4 + (kChunkHeader + kAvihSize) + (kChunkHeader + kVideoStrlSize) +
                               (kChunkHeader + kAudioStrlSize) + (kChunkHeader + kOdmlSize);
static_assert(kListHeader + kChunkHeader + kHdrlSize == kAviHeaderBytes);
constexpr uint32_t kStandardIndexHeader = 24;
constexpr uint32_t kStandardIndexEntry = 8;
constexpr uint32_t kIdx1Entry = 16;

constexpr char kStreamChunkIds[2][5] = {"00dc", "01wb"};
constexpr char kStandardIndexIds[2][5] = {"ix00", "ix01"};

// Little-endian field writer for headers and indexes.
class FieldWriter {
  public:
    explicit FieldWriter(std::vector<uint8_t>& out) : out_(out) {}
    void U8(uint8_t v) { out_.push_back(v); }
    void U16(uint16_t v) {
        U8(static_cast<uint8_t>(v));
        U8(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    void U64(uint64_t v) {
        U32(static_cast<uint32_t>(v));
        U32(static_cast<uint32_t>(v >> 32));
    }
    void Fourcc(const char* f) {
        for (int i = 0; i < 4; ++i) {
            U8(static_cast<uint8_t>(f[i]));
        }
    }
    void Zeros(size_t n) { out_.resize(out_.size() + n, 0); }
    void Chunk(const char* id, uint32_t size) {
        Fourcc(id);
        U32(size);
    }
    void List(const char* id, uint32_t size, const char* type) {
        Chunk(id, size);
        Fourcc(type);
    }

  private:
    std::vector<uint8_t>& out_;
};

uint32_t ImageSize(int width, int height) {
    const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    return stride * static_cast<uint32_t>(height);
}

uint32_t Clamp32(int64_t v) {
    return static_cast<uint32_t>(std::clamp<int64_t>(v, 0, UINT32_MAX));
}

bool ValidFormat(int width, int height, double frameRate) {
    return width >= 1 && width <= kMaxDimension && height >= 1 && height <= kMaxDimension &&
           frameRate >= kMinFrameRate && frameRate <= kMaxFrameRate;
}

bool NearWhole(double value) {
    return std::abs(value - std::round(value)) < kWholeTolerance;
}

bool PWriteAll(int fd, const uint8_t* data, size_t size, uint64_t position) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(position));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
        position += static_cast<uint64_t>(n);
    }
    return true;
}

}  // namespace

AviRate AviRateFor(double framesPerSecond) {
    const double ntsc = framesPerSecond * kNtscScale / kVideoScale;
    if (NearWhole(framesPerSecond)) {
        return {static_cast<uint32_t>(std::round(framesPerSecond)) * kVideoScale, kVideoScale};
    }
    if (NearWhole(ntsc)) {
        return {static_cast<uint32_t>(std::round(ntsc)) * kVideoScale, kNtscScale};
    }
    return {static_cast<uint32_t>(std::round(framesPerSecond * kVideoScale)), kVideoScale};
}

AviWriter::AviWriter(uint64_t riffLimit) : riffLimit_(riffLimit) {}

AviWriter::~AviWriter() {
    Close();
}

bool AviWriter::Create(const std::string& path, int width, int height, double frameRate,
                       bool withSound) {
    Close();
    if (!ValidFormat(width, height, frameRate)) {
        return false;  // before the file is touched
    }
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    return Create(std::move(fd), width, height, frameRate, withSound);
}

bool AviWriter::Create(UniqueFd fd, int width, int height, double frameRate, bool withSound) {
    Close();
    if (!fd.Valid() || !ValidFormat(width, height, frameRate)) {
        return false;
    }
    fd_ = std::move(fd);
    streamCount_ = withSound ? kStreams : 1;
    width_ = width;
    height_ = height;
    rate_ = AviRateFor(frameRate);
    if (buffer_.empty()) {
        buffer_.resize(kWriteBuffer);
    }
    moviList_ = kAviHeaderBytes;
    const std::vector<uint8_t> header = BuildHeader();
    if (!Put(header.data(), header.size()) || !Flush()) {
        Close();
        return false;
    }
    return true;
}

bool AviWriter::WriteVideo(const uint8_t* data, size_t size) {
    return WriteChunk(kVideo, data, size, 1);
}

bool AviWriter::WriteAudio(const uint8_t* data, size_t size) {
    return streamCount_ > kAudio &&
           WriteChunk(kAudio, data, size, static_cast<int64_t>(size / kAudioBlockAlign));
}

bool AviWriter::WriteChunk(int stream, const uint8_t* data, size_t size, int64_t units) {
    if (!IsOpen() || failed_ || size > kMaxChunkData || (size > 0 && data == nullptr)) {
        return false;
    }
    const uint64_t total = kChunkHeader + size + (size & 1);
    if (!chunks_.empty() && position_ - riffStart_ + total > riffLimit_ && !StartNewRiff()) {
        return false;
    }
    chunks_.push_back({position_, static_cast<uint32_t>(size), static_cast<uint8_t>(stream)});
    uint8_t header[kChunkHeader];
    std::memcpy(header, kStreamChunkIds[stream], 4);
    for (int i = 0; i < 4; ++i) {
        header[4 + i] = static_cast<uint8_t>(size >> (8 * i));
    }
    static constexpr uint8_t kPad = 0;
    if (!Put(header, sizeof header) || !Put(data, size) || ((size & 1) && !Put(&kPad, 1))) {
        return Fail();
    }
    StreamState& s = streams_[stream];
    s.length += units;
    s.riffLength += units;
    s.largestChunk = std::max(s.largestChunk, static_cast<uint32_t>(size));
    return true;
}

bool AviWriter::StartNewRiff() {
    // The super index has one entry per RIFF; a file that outgrows it ends where it is, still
    // whole, and takes no more.
    if (riffIndex_ + 1 >= kAviSuperIndexEntries) {
        return false;
    }
    if (!EndRiff(false)) {
        return Fail();
    }
    ++riffIndex_;
    riffStart_ = position_;
    moviList_ = riffStart_ + kListHeader;
    chunks_.clear();
    for (StreamState& s : streams_) {
        s.riffLength = 0;
    }
    std::vector<uint8_t> head;
    FieldWriter w(head);
    w.List("RIFF", 0, "AVIX");
    w.List("LIST", 0, "movi");
    return Put(head.data(), head.size()) || Fail();
}

bool AviWriter::EndRiff(bool last) {
    const bool openDml = riffIndex_ > 0 || !last;
    if (openDml && !WriteStandardIndexes()) {
        return false;
    }
    const uint64_t moviData = moviList_ + kChunkHeader;
    if (!PatchU32(moviList_ + 4, Clamp32(static_cast<int64_t>(position_ - moviData)))) {
        return false;
    }
    if (riffIndex_ == 0) {
        firstMoviEnd_ = position_;
        if (!WriteIdx1()) {
            return false;
        }
        firstRiffEnd_ = position_;
        firstRiffFrames_ = streams_[kVideo].riffLength;
        return true;  // its RIFF size goes out with the final header
    }
    return PatchU32(riffStart_ + 4,
                    Clamp32(static_cast<int64_t>(position_ - riffStart_ - kChunkHeader)));
}

bool AviWriter::WriteStandardIndexes() {
    const uint64_t base = moviList_ + kChunkHeader;  // the 'movi' type code
    for (int stream = 0; stream < streamCount_; ++stream) {
        const auto count = static_cast<uint32_t>(std::count_if(
            chunks_.begin(), chunks_.end(), [&](const ChunkRef& c) { return c.stream == stream; }));
        const uint32_t size = kStandardIndexHeader + count * kStandardIndexEntry;
        std::vector<uint8_t> ix;
        ix.reserve(kChunkHeader + size);
        FieldWriter w(ix);
        w.Chunk(kStandardIndexIds[stream], size);
        w.U16(kStandardIndexLongsPerEntry);
        w.U8(0);
        w.U8(kIndexOfChunks);
        w.U32(count);
        w.Fourcc(kStreamChunkIds[stream]);
        w.U64(base);
        w.U32(0);
        for (const ChunkRef& c : chunks_) {
            if (c.stream == stream) {
                w.U32(static_cast<uint32_t>(c.position + kChunkHeader - base));
                w.U32(c.size);  // bit 31 clear: a key frame
            }
        }
        StreamState& s = streams_[stream];
        s.superIndex.push_back(
            {position_, kChunkHeader + size, static_cast<uint32_t>(s.riffLength)});
        if (!Put(ix.data(), ix.size())) {
            return false;
        }
    }
    return true;
}

bool AviWriter::WriteIdx1() {
    const uint64_t base = moviList_ + kChunkHeader;
    std::vector<uint8_t> idx;
    idx.reserve(kChunkHeader + chunks_.size() * kIdx1Entry);
    FieldWriter w(idx);
    w.Chunk("idx1", static_cast<uint32_t>(chunks_.size() * kIdx1Entry));
    for (const ChunkRef& c : chunks_) {
        w.Fourcc(kStreamChunkIds[c.stream]);
        w.U32(kAviifKeyFrame);
        w.U32(static_cast<uint32_t>(c.position - base));
        w.U32(c.size);
    }
    return Put(idx.data(), idx.size());
}

std::vector<uint8_t> AviWriter::BuildHeader() const {
    const bool openDml = riffIndex_ > 0;
    const StreamState& video = streams_[kVideo];
    const StreamState& audio = streams_[kAudio];
    std::vector<uint8_t> h;
    h.reserve(kAviHeaderBytes + kListHeader);
    FieldWriter w(h);
    w.List("RIFF", firstRiffEnd_ > 0 ? Clamp32(firstRiffEnd_ - kChunkHeader) : 0, "AVI ");
    w.List("LIST", kHdrlSize, "hdrl");

    w.Chunk("avih", kAvihSize);
    w.U32(static_cast<uint32_t>(uint64_t{kMicrosecondsPerSecond} * rate_.scale / rate_.rate));
    w.U32(0);  // max bytes per second
    w.U32(0);  // padding granularity
    w.U32(kAvifHasIndex | kAvifIsInterleaved);
    w.U32(Clamp32(openDml ? firstRiffFrames_ : video.length));
    w.U32(0);  // initial frames
    w.U32(static_cast<uint32_t>(streamCount_));
    w.U32(std::max(video.largestChunk, audio.largestChunk));
    w.U32(static_cast<uint32_t>(width_));
    w.U32(static_cast<uint32_t>(height_));
    w.Zeros(16);

    auto superIndex = [&](const StreamState& s, int stream) {
        if (!openDml) {
            w.Chunk("JUNK", kSuperIndexSize);
            w.Zeros(kSuperIndexSize);
            return;
        }
        w.Chunk("indx", kSuperIndexSize);
        w.U16(kSuperIndexLongsPerEntry);
        w.U8(0);
        w.U8(kIndexOfIndexes);
        w.U32(static_cast<uint32_t>(s.superIndex.size()));
        w.Fourcc(kStreamChunkIds[stream]);
        w.Zeros(12);
        for (const SuperEntry& e : s.superIndex) {
            w.U64(e.position);
            w.U32(e.size);
            w.U32(e.duration);
        }
        w.Zeros((kAviSuperIndexEntries - s.superIndex.size()) * kSuperIndexEntry);
    };

    w.List("LIST", kVideoStrlSize, "strl");
    w.Chunk("strh", kStrhSize);
    w.Fourcc("vids");
    w.Fourcc("AVC1");
    w.U32(0);  // flags
    w.U16(0);  // priority
    w.U16(0);  // language
    w.U32(0);  // initial frames
    w.U32(rate_.scale);
    w.U32(rate_.rate);
    w.U32(0);  // start
    w.U32(Clamp32(video.length));
    w.U32(video.largestChunk);
    w.U32(kUnknownQuality);
    w.U32(0);  // sample size: frames vary
    w.U16(0);
    w.U16(0);
    w.U16(static_cast<uint16_t>(width_));
    w.U16(static_cast<uint16_t>(height_));
    w.Chunk("strf", kBitmapInfoSize);
    w.U32(kBitmapInfoSize);
    w.U32(static_cast<uint32_t>(width_));
    w.U32(static_cast<uint32_t>(height_));
    w.U16(kPlanes);
    w.U16(kBitsPerPixel);
    w.Fourcc("X264");
    w.U32(ImageSize(width_, height_));
    w.Zeros(16);  // resolution and palette fields
    superIndex(video, kVideo);

    if (streamCount_ > kAudio) {
        w.List("LIST", kAudioStrlSize, "strl");
        w.Chunk("strh", kStrhSize);
        w.Fourcc("auds");
        w.U32(0);  // handler
        w.U32(0);  // flags
        w.U16(0);  // priority
        w.U16(0);  // language
        w.U32(0);  // initial frames
        w.U32(kAudioScale);
        w.U32(kAudioRate);
        w.U32(0);  // start
        w.U32(Clamp32(audio.length));
        w.U32(audio.largestChunk);
        w.U32(0);  // quality
        w.U32(kAudioBlockAlign);
        w.Zeros(8);  // frame rectangle
        w.Chunk("strf", kWaveFormatSize);
        w.U16(kWaveFormatPcm);
        w.U16(kAudioChannels);
        w.U32(kAudioSampleRate);
        w.U32(kAudioRate);
        w.U16(kAudioBlockAlign);
        w.U16(kAudioBits);
        w.U16(0);  // no extra bytes
        superIndex(audio, kAudio);
    } else {
        // A clip without sound keeps the layout: the sound's list becomes padding.
        w.Chunk("JUNK", kAudioStrlSize);
        w.Zeros(kAudioStrlSize);
    }

    // Until the file needs OpenDML this stays padding that players skip.
    w.Chunk(openDml ? "LIST" : "JUNK", kOdmlSize);
    w.Fourcc("odml");
    w.Chunk("dmlh", kDmlhSize);
    w.U32(openDml ? Clamp32(video.length) : 0);
    w.Zeros(kDmlhSize - 4);

    const uint64_t moviData = kAviHeaderBytes + kChunkHeader;
    w.List("LIST", firstMoviEnd_ > 0 ? Clamp32(firstMoviEnd_ - moviData) : 0, "movi");
    return h;
}

bool AviWriter::WriteHeader() {
    const std::vector<uint8_t> header = BuildHeader();
    return PWriteAll(fd_.Get(), header.data(), header.size(), 0) || Fail();
}

bool AviWriter::Put(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (size >= kDirectWrite) {
        // The buffer always ends at position_, so it goes out first.
        if (!Flush() || !PWriteAll(fd_.Get(), bytes, size, position_)) {
            return Fail();
        }
        position_ += size;
        return true;
    }
    if (bufferFill_ + size > buffer_.size() && !Flush()) {
        return false;
    }
    std::memcpy(buffer_.data() + bufferFill_, bytes, size);
    bufferFill_ += size;
    position_ += size;
    return true;
}

bool AviWriter::Flush() {
    if (bufferFill_ == 0) {
        return true;
    }
    if (!PWriteAll(fd_.Get(), buffer_.data(), bufferFill_, position_ - bufferFill_)) {
        return Fail();
    }
    bufferFill_ = 0;
    return true;
}

bool AviWriter::PatchU32(uint64_t position, uint32_t value) {
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    }
    const uint64_t buffered = position_ - bufferFill_;
    if (position >= buffered) {
        std::memcpy(buffer_.data() + (position - buffered), bytes, sizeof bytes);
        return true;
    }
    return PWriteAll(fd_.Get(), bytes, sizeof bytes, position) || Fail();
}

bool AviWriter::Fail() {
    failed_ = true;
    return false;
}

bool AviWriter::Close() {
    if (!IsOpen()) {
        return false;
    }
    const bool ok = !failed_ && EndRiff(true) && Flush() && WriteHeader();
    fd_.Reset();
    failed_ = false;
    bufferFill_ = 0;
    position_ = 0;
    riffIndex_ = 0;
    riffStart_ = 0;
    moviList_ = 0;
    firstRiffEnd_ = 0;
    firstMoviEnd_ = 0;
    firstRiffFrames_ = 0;
    chunks_.clear();
    for (StreamState& s : streams_) {
        s = StreamState{};
    }
    return ok;
}

}  // namespace velmaro
