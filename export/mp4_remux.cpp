// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/mp4_remux.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <iterator>
#include <utility>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

namespace velmaro {

struct Mp4Remux::FdIo {
    int fd = -1;
    int64_t position = 0;
};

namespace {

constexpr int kIoBufferSize = 64 * 1024;
constexpr AVRational kCueTimeBase{1, 1000};
constexpr AVRational kMicroseconds{1, 1000000};
// A tx3g sample entry's body (3GPP TS 26.245): default display flags, justification left and
// bottom, a transparent background, an empty text box, one style (font 1, 18 pixels, white)
// and a font table naming font 1 "Serif". Players need it to show any caption.
constexpr uint8_t kTextSampleEntry[] = {
    0x00, 0x00, 0x00, 0x00,                          // display flags
    0x01, 0xFF,                                      // justification
    0x00, 0x00, 0x00, 0x00,                          // background colour
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // text box
    0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x12,  // style record
    0xFF, 0xFF, 0xFF, 0xFF,                          // text colour
    0x00, 0x00, 0x00, 0x12, 'f',  't',  'a',  'b',   // font table box
    0x00, 0x01, 0x00, 0x01, 0x05, 'S',  'e',  'r',  'i', 'f',
};

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

int ReadFd(void* opaque, uint8_t* data, int size) {
    auto* io = static_cast<Mp4Remux::FdIo*>(opaque);
    ssize_t n;
    do {
        n = ::pread(io->fd, data, static_cast<size_t>(size), io->position);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        return AVERROR(errno);
    }
    if (n == 0) {
        return AVERROR_EOF;
    }
    io->position += n;
    return static_cast<int>(n);
}

int WriteFd(void* opaque, uint8_t* data, int size) {
    auto* io = static_cast<Mp4Remux::FdIo*>(opaque);
    for (int done = 0; done < size;) {
        const ssize_t n =
            ::pwrite(io->fd, data + done, static_cast<size_t>(size - done), io->position);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? AVERROR(errno) : AVERROR(EIO);
        }
        done += static_cast<int>(n);
        io->position += n;
    }
    return size;
}

int64_t SeekFd(void* opaque, int64_t offset, int whence) {
    auto* io = static_cast<Mp4Remux::FdIo*>(opaque);
    struct stat info {};
    if (whence & AVSEEK_SIZE) {
        return ::fstat(io->fd, &info) == 0 ? static_cast<int64_t>(info.st_size) : AVERROR(errno);
    }
    switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET:
            break;
        case SEEK_CUR:
            offset += io->position;
            break;
        case SEEK_END:
            if (::fstat(io->fd, &info) != 0) {
                return AVERROR(errno);
            }
            offset += info.st_size;
            break;
        default:
            return AVERROR(EINVAL);
    }
    if (offset < 0) {
        return AVERROR(EINVAL);
    }
    io->position = offset;
    return offset;
}

// An AVIOContext with a buffer of its own over `opaque`; nullptr when memory runs out.
AVIOContext* NewIo(void* opaque, bool write, int (*read)(void*, uint8_t*, int),
                   int (*writeFn)(void*, uint8_t*, int), int64_t (*seek)(void*, int64_t, int)) {
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
    if (buffer == nullptr) {
        return nullptr;
    }
    AVIOContext* io =
        avio_alloc_context(buffer, kIoBufferSize, write ? 1 : 0, opaque, read, writeFn, seek);
    if (io == nullptr) {
        av_free(buffer);
    }
    return io;
}

void FreeIo(AVIOContext** io) {
    if (*io != nullptr) {
        av_freep(&(*io)->buffer);
        avio_context_free(io);
    }
}

// "2026-06-12T10:22:33.000000Z", the form libavformat takes a creation time in.
std::string CreationTimeText(int64_t seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    char text[40] = {};
    if (::gmtime_r(&time, &parts) == nullptr ||
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &parts) == 0) {
        return {};
    }
    return text;
}

}  // namespace

Mp4Remux::Mp4Remux() = default;

Mp4Remux::~Mp4Remux() {
    Close();
}

void Mp4Remux::Close() {
    if (input_ != nullptr) {
        avformat_close_input(&input_);
    }
    FreeIo(&inputIo_);
    if (output_ != nullptr) {
        avformat_free_context(output_);
        output_ = nullptr;
    }
    FreeIo(&outputIo_);
    outputFd_.reset();
    readBackFd_.reset();
    outputIndex_.clear();
    av_packet_free(&heldPicture_);
    videoInput_ = textOutput_ = -1;
    start_ = 0;
    started_ = headerWritten_ = false;
    nextCue_ = 0;
    pictures_ = 0;
    videoEndMs_ = 0;
}

bool Mp4Remux::Open(ReadStream read, int fd, const Mp4Options& options, std::string& error) {
    Close();
    read_ = std::move(read);
    options_ = options;
    return OpenInput(error) && OpenOutput(fd, error) && WriteHeader(error);
}

int Mp4Remux::ReadTrampoline(void* opaque, uint8_t* data, int size) {
    const int n = static_cast<Mp4Remux*>(opaque)->read_(data, size);
    return n > 0 ? n : n == 0 ? AVERROR_EOF : AVERROR_EXIT;
}

bool Mp4Remux::OpenInput(std::string& error) {
    inputIo_ = NewIo(this, false, &Mp4Remux::ReadTrampoline, nullptr, nullptr);
    input_ = avformat_alloc_context();
    if (inputIo_ == nullptr || input_ == nullptr) {
        error = "not enough memory for the MP4 export";
        return false;
    }
    input_->pb = inputIo_;
    input_->flags |= AVFMT_FLAG_CUSTOM_IO;
    int result = avformat_open_input(&input_, nullptr, av_find_input_format("mpegts"), nullptr);
    if (result >= 0) {
        result = avformat_find_stream_info(input_, nullptr);
    }
    if (result < 0) {
        error = "cannot read the clip's streams: " + AvError(result);
        return false;
    }
    videoInput_ = av_find_best_stream(input_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (videoInput_ < 0) {
        error = "the clip holds no video stream";
        return false;
    }
    return true;
}

bool Mp4Remux::OpenOutput(int fd, std::string& error) {
    int result = avformat_alloc_output_context2(&output_, nullptr, "mp4", nullptr);
    outputFd_ = std::make_unique<FdIo>(FdIo{fd, 0});
    outputIo_ = NewIo(outputFd_.get(), true, nullptr, &WriteFd, &SeekFd);
    if (result < 0 || outputIo_ == nullptr) {
        error = "cannot prepare the MP4 file: " + AvError(result < 0 ? result : AVERROR(ENOMEM));
        return false;
    }
    output_->pb = outputIo_;
    output_->flags |= AVFMT_FLAG_CUSTOM_IO;
    // Moving the index to the front reads the file back: through a handle of its own.
    output_->opaque = this;
    output_->io_open = &Mp4Remux::OpenForReading;
    output_->io_close2 = &Mp4Remux::CloseReading;
    output_->url = av_strdup("clip.mp4");
    outputIndex_.assign(input_->nb_streams, -1);
    if (!AddStream(videoInput_, error)) {
        return false;
    }
    const int audio = av_find_best_stream(input_, AVMEDIA_TYPE_AUDIO, -1, videoInput_, nullptr, 0);
    if (audio >= 0 && input_->streams[audio]->codecpar->codec_id == AV_CODEC_ID_AAC &&
        !AddStream(audio, error)) {
        return false;
    }
    return options_.cues.empty() || AddTextStream(error);
}

bool Mp4Remux::AddStream(int inputIndex, std::string& error) {
    const AVStream* in = input_->streams[inputIndex];
    AVStream* out = avformat_new_stream(output_, nullptr);
    if (out == nullptr || avcodec_parameters_copy(out->codecpar, in->codecpar) < 0) {
        error = "not enough memory for the MP4 export";
        return false;
    }
    // H.265 as 'hvc1', the tag browsers and phones play; the rest as the muxer names it.
    out->codecpar->codec_tag =
        in->codecpar->codec_id == AV_CODEC_ID_HEVC ? MKTAG('h', 'v', 'c', '1') : 0;
    out->time_base = in->time_base;
    outputIndex_[static_cast<size_t>(inputIndex)] = out->index;
    return true;
}

bool Mp4Remux::AddTextStream(std::string& error) {
    AVStream* text = avformat_new_stream(output_, nullptr);
    auto* entry =
        static_cast<uint8_t*>(av_mallocz(sizeof kTextSampleEntry + AV_INPUT_BUFFER_PADDING_SIZE));
    if (text == nullptr || entry == nullptr) {
        av_free(entry);
        error = "not enough memory for the MP4 export";
        return false;
    }
    std::copy(std::begin(kTextSampleEntry), std::end(kTextSampleEntry), entry);
    text->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
    text->codecpar->codec_id = AV_CODEC_ID_MOV_TEXT;
    text->codecpar->extradata = entry;
    text->codecpar->extradata_size = sizeof kTextSampleEntry;
    text->time_base = kCueTimeBase;
    textOutput_ = text->index;
    return true;
}

bool Mp4Remux::WriteHeader(std::string& error) {
    if (options_.creationTime) {
        const std::string when = CreationTimeText(*options_.creationTime);
        if (!when.empty()) {
            av_dict_set(&output_->metadata, "creation_time", when.c_str(), 0);
        }
    }
    AVDictionary* settings = nullptr;
    av_dict_set(&settings, "movflags", "+faststart", 0);
    const int result = avformat_write_header(output_, &settings);
    av_dict_free(&settings);
    if (result < 0) {
        error = "cannot write the MP4 file: " + AvError(result);
        return false;
    }
    headerWritten_ = true;
    return true;
}

int Mp4Remux::OpenForReading(AVFormatContext* s, AVIOContext** pb, const char*, int flags,
                             AVDictionary**) {
    auto* self = static_cast<Mp4Remux*>(s->opaque);
    if ((flags & AVIO_FLAG_WRITE) != 0 || self->readBackFd_) {
        return AVERROR(EINVAL);
    }
    self->readBackFd_ = std::make_unique<FdIo>(FdIo{self->outputFd_->fd, 0});
    *pb = NewIo(self->readBackFd_.get(), false, &ReadFd, nullptr, &SeekFd);
    if (*pb == nullptr) {
        self->readBackFd_.reset();
        return AVERROR(ENOMEM);
    }
    return 0;
}

int Mp4Remux::CloseReading(AVFormatContext* s, AVIOContext* pb) {
    auto* self = static_cast<Mp4Remux*>(s->opaque);
    FreeIo(&pb);
    self->readBackFd_.reset();
    return 0;
}

bool Mp4Remux::CopyPackets(std::string& error) {
    AVPacket* packet = av_packet_alloc();
    heldPicture_ = av_packet_alloc();
    if (packet == nullptr || heldPicture_ == nullptr) {
        av_packet_free(&packet);
        error = "not enough memory for the MP4 export";
        return false;
    }
    int result;
    bool ok = true;
    while (ok && (result = av_read_frame(input_, packet)) >= 0) {
        ok = CopyPacket(packet, error);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    if (ok && result != AVERROR_EOF) {
        error = "the clip's stream broke off";
        return false;
    }
    if (ok && heldPicture_->data != nullptr && !options_.lastPictureMayBeCut) {
        ok = WritePacket(heldPicture_, error);
    }
    return ok;
}

// Pictures before the first key picture cannot be decoded, and sound before it has no picture
// to go with: the clip's time 0 is that picture.
bool Mp4Remux::CopyPacket(AVPacket* packet, std::string& error) {
    const auto in = static_cast<size_t>(packet->stream_index);
    if (in >= outputIndex_.size() || outputIndex_[in] < 0 || packet->pts == AV_NOPTS_VALUE) {
        return true;
    }
    const AVRational inBase = input_->streams[in]->time_base;
    const bool video = static_cast<int>(in) == videoInput_;
    if (!started_) {
        if (!video || (packet->flags & AV_PKT_FLAG_KEY) == 0) {
            return true;
        }
        start_ = av_rescale_q(packet->pts, inBase, kMicroseconds);
        started_ = true;
    }
    const int64_t offset = av_rescale_q(start_, kMicroseconds, inBase);
    if (!video && packet->pts < offset) {
        return true;
    }
    packet->pts -= offset;
    packet->dts = packet->dts == AV_NOPTS_VALUE ? packet->pts : packet->dts - offset;
    if (!WriteCuesBefore(av_rescale_q(packet->dts, inBase, kCueTimeBase), error)) {
        return false;
    }
    AVStream* out = output_->streams[outputIndex_[in]];
    av_packet_rescale_ts(packet, inBase, out->time_base);
    packet->stream_index = out->index;
    packet->pos = -1;
    if (!video) {
        return WritePacket(packet, error);
    }
    // A picture goes out when the next one shows that it was whole.
    if (heldPicture_->data != nullptr && !WritePacket(heldPicture_, error)) {
        return false;
    }
    av_packet_move_ref(heldPicture_, packet);
    return true;
}

bool Mp4Remux::WritePacket(AVPacket* packet, std::string& error) {
    const AVStream* out = output_->streams[packet->stream_index];
    if (out->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
        ++pictures_;
        const int64_t end = packet->pts + std::max<int64_t>(packet->duration, 0);
        videoEndMs_ = std::max(videoEndMs_, av_rescale_q(end, out->time_base, kCueTimeBase));
    }
    // The muxer takes the packet's data over and leaves it blank.
    const int result = av_interleaved_write_frame(output_, packet);
    if (result < 0) {
        error = "cannot write the MP4 file: " + AvError(result);
        return false;
    }
    return true;
}

// A caption goes into the file beside the pictures at its end, once they show that it ends
// within the clip; Finish cuts the last ones short at the last picture's end.
bool Mp4Remux::WriteCuesBefore(int64_t ms, std::string& error) {
    if (textOutput_ < 0) {
        return true;
    }
    AVStream* text = output_->streams[textOutput_];
    for (; nextCue_ < options_.cues.size() && options_.cues[nextCue_].endMs <= ms; ++nextCue_) {
        SubtitleCue cue = options_.cues[nextCue_];
        cue.endMs = std::min(cue.endMs, ms);
        if (cue.startMs >= cue.endMs) {
            continue;
        }
        std::string body = cue.text;
        while (!body.empty() && body.back() == '\n') {
            body.pop_back();
        }
        // A tx3g sample: the text's length in two bytes, then the text.
        const size_t length = std::min<size_t>(body.size(), UINT16_MAX);
        AVPacket* packet = av_packet_alloc();
        if (packet == nullptr || av_new_packet(packet, static_cast<int>(length + 2)) < 0) {
            av_packet_free(&packet);
            error = "not enough memory for the MP4 export";
            return false;
        }
        packet->data[0] = static_cast<uint8_t>(length >> 8);
        packet->data[1] = static_cast<uint8_t>(length & 0xFF);
        std::copy_n(body.data(), length, packet->data + 2);
        packet->pts = packet->dts = av_rescale_q(cue.startMs, kCueTimeBase, text->time_base);
        packet->duration = av_rescale_q(cue.endMs - cue.startMs, kCueTimeBase, text->time_base);
        packet->stream_index = textOutput_;
        packet->flags |= AV_PKT_FLAG_KEY;
        const int result = av_interleaved_write_frame(output_, packet);
        av_packet_free(&packet);
        if (result < 0) {
            error = "cannot write the MP4 file: " + AvError(result);
            return false;
        }
    }
    return true;
}

bool Mp4Remux::Finish(std::string& error) {
    if (!headerWritten_ || pictures_ == 0) {
        error = "the MP4 file holds no picture";
        return false;
    }
    // The captions still due end at the last picture's end, or fall away after it.
    for (SubtitleCue& cue : options_.cues) {
        cue.endMs = std::min(cue.endMs, videoEndMs_);
    }
    if (!WriteCuesBefore(videoEndMs_, error)) {
        return false;
    }
    int result = av_write_trailer(output_);
    if (result >= 0) {
        avio_flush(outputIo_);
        result = outputIo_->error;
    }
    if (result < 0) {
        error = "cannot write the MP4 file: " + AvError(result);
        return false;
    }
    return true;
}

}  // namespace velmaro
