// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Streams that reorder their pictures, for playback tests: libx264 or libx265 access units in
// decoding order as libavcodec gives them, muxed by the sample recordings' muxer, and what
// libavcodec itself shows of them (the answer key), by content digest.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/opt.h>
}

#include "media/offscreen_output.h"
#include "stream/video_codec.h"
#include "tests/test_support.h"
#include "tools/make_recording/av_ptr.h"
#include "tools/make_recording/ts_muxer.h"

namespace velmaro::test {

constexpr int kWidth = 160;
constexpr int kHeight = 96;
constexpr int kFps = 30;
constexpr int kTicksPerPicture = 90000 / kFps;
constexpr int64_t kFirstTick = 90000;  // times start at 1 s, as a camera's do
constexpr int kGroup = 25;
constexpr int kPicturesPerFile = 50;
constexpr int kFiles = 2;

struct StreamCase {
    const char* name;
    VideoCodec codec;
    int bFrames;
    bool openGroups;
};

struct AccessUnit {
    std::vector<uint8_t> bytes;
    bool key = false;
    int64_t pts = 0;
    int64_t dts = 0;
};

// A picture that differs from every other one in every plane.
inline void Draw(AVFrame* f, int index) {
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            f->data[0][y * f->linesize[0] + x] = static_cast<uint8_t>(x * 2 + y + index * 5);
        }
    }
    for (int plane = 1; plane < 3; ++plane) {
        for (int y = 0; y < kHeight / 2; ++y) {
            std::fill_n(f->data[plane] + y * f->linesize[plane], kWidth / 2,
                        static_cast<uint8_t>(64 + plane * 32 + (index + y) % 32));
        }
    }
}

inline bool Drain(AVCodecContext* c, AVPacket* packet, std::vector<AccessUnit>& units) {
    int rc = 0;
    while ((rc = avcodec_receive_packet(c, packet)) == 0) {
        units.push_back({std::vector<uint8_t>(packet->data, packet->data + packet->size),
                         (packet->flags & AV_PKT_FLAG_KEY) != 0, packet->pts, packet->dts});
        av_packet_unref(packet);
    }
    return rc == AVERROR(EAGAIN) || rc == AVERROR_EOF;
}

// `pictures` pictures from number `firstIndex` on, encoded by libx264 or libx265 in decoding order.
inline std::vector<AccessUnit> Encode(const StreamCase& sc, int firstIndex,
                                      int pictures = kPicturesPerFile) {
    const bool hevc = sc.codec == VideoCodec::kHevc;
    const AVCodec* codec = avcodec_find_encoder_by_name(hevc ? "libx265" : "libx264");
    av::CodecContextPtr context(avcodec_alloc_context3(codec));
    av::FramePtr frame(av_frame_alloc());
    av::PacketPtr packet(av_packet_alloc());
    AVCodecContext* c = context.get();
    c->width = kWidth;
    c->height = kHeight;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->time_base = AVRational{1, kFps};
    c->gop_size = kGroup;
    c->max_b_frames = sc.bFrames;
    c->thread_count = 1;
    const std::string params = "keyint=" + std::to_string(kGroup) +
                               ":min-keyint=" + std::to_string(kGroup) +
                               ":scenecut=0:bframes=" + std::to_string(sc.bFrames) +
                               ":open-gop=" + (sc.openGroups ? "1" : "0") +
                               (hevc ? ":repeat-headers=1:log-level=error" : ":log=-1");
    av_opt_set(c->priv_data, "preset", "veryfast", 0);
    av_opt_set(c->priv_data, hevc ? "x265-params" : "x264-params", params.c_str(), 0);
    std::vector<AccessUnit> units;
    if (avcodec_open2(c, codec, nullptr) < 0) {
        return units;
    }
    frame->format = c->pix_fmt;
    frame->width = kWidth;
    frame->height = kHeight;
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        return units;
    }
    for (int i = 0; i < pictures; ++i) {
        if (av_frame_make_writable(frame.get()) < 0) {
            return {};
        }
        Draw(frame.get(), firstIndex + i);
        frame->pts = i;
        if (avcodec_send_frame(c, frame.get()) < 0 || !Drain(c, packet.get(), units)) {
            return {};
        }
    }
    if (avcodec_send_frame(c, nullptr) < 0 || !Drain(c, packet.get(), units)) {
        return {};
    }
    return units;
}

inline uint64_t DigestOf(const AVFrame& f) {
    PresentedPicture picture;
    picture.width = f.width;
    picture.height = f.height;
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? f.height : (f.height + 1) / 2;
        picture.planes[plane].assign(f.data[plane], f.data[plane] + f.linesize[plane] * rows);
        picture.strides[plane] = f.linesize[plane];
    }
    return PictureDigest(picture);
}

// What libavcodec shows of the access units, in display order.
inline std::vector<uint64_t> DecodedDigests(VideoCodec codec,
                                            const std::vector<AccessUnit>& units) {
    const AVCodec* decoder =
        avcodec_find_decoder(codec == VideoCodec::kHevc ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
    av::CodecContextPtr context(avcodec_alloc_context3(decoder));
    av::FramePtr frame(av_frame_alloc());
    av::PacketPtr packet(av_packet_alloc());
    std::vector<uint64_t> digests;
    if (avcodec_open2(context.get(), decoder, nullptr) < 0) {
        return digests;
    }
    auto receive = [&] {
        while (avcodec_receive_frame(context.get(), frame.get()) == 0) {
            digests.push_back(DigestOf(*frame));
        }
    };
    for (const AccessUnit& unit : units) {
        av_new_packet(packet.get(), static_cast<int>(unit.bytes.size()));
        std::copy(unit.bytes.begin(), unit.bytes.end(), packet->data);
        avcodec_send_packet(context.get(), packet.get());
        av_packet_unref(packet.get());
        receive();
    }
    avcodec_send_packet(context.get(), nullptr);
    receive();
    return digests;
}

inline std::vector<uint8_t> Mux(VideoCodec codec, const std::vector<AccessUnit>& units) {
    std::vector<uint8_t> bytes;
    TsLayout layout;
    layout.withData = false;
    layout.videoStreamType = codec == VideoCodec::kHevc ? 0x24 : 0x1B;
    TsMuxer mux(layout, &bytes);
    mux.WriteTables();
    for (const AccessUnit& unit : units) {
        const int64_t dts = kFirstTick + unit.dts * kTicksPerPicture;
        mux.WriteVideo(unit.bytes, unit.key, kFirstTick + unit.pts * kTicksPerPicture, dts,
                       dts - kTicksPerPicture);
    }
    return bytes;
}

// The pictures of a card, in display order across its files.
struct Card {
    TempDir root;
    std::vector<std::string> files;
    std::vector<uint64_t> pictures;
};

inline std::unique_ptr<Card> MakeCard(const StreamCase& sc) {
    auto card = std::make_unique<Card>();
    const std::filesystem::path folder = card->root.path() / "DCIM" / "100MEDIA";
    std::filesystem::create_directories(folder);
    for (int file = 0; file < kFiles; ++file) {
        const std::vector<AccessUnit> units = Encode(sc, file * kPicturesPerFile);
        const std::vector<uint64_t> digests = DecodedDigests(sc.codec, units);
        card->pictures.insert(card->pictures.end(), digests.begin(), digests.end());
        card->files.push_back((folder / ("REC_000" + std::to_string(file + 1) + ".ts")).string());
        WriteBytes(card->files.back(), Mux(sc.codec, units));
    }
    return card;
}

}  // namespace velmaro::test
