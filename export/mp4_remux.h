// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Mp4Remux: turns a clip's transport stream into an MP4 file with libavformat while the stream
// is being cut: the pictures (H.264 or H.265) and the AAC sound are copied as they are, the
// clip's telemetry becomes a timed text track, and the index goes in front of the pictures so
// that the file plays while it downloads. The stream is pulled through a read function, so the
// transport stream never touches the disk.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "export/subtitle_writer.h"

struct AVDictionary;
struct AVFormatContext;
struct AVIOContext;
struct AVPacket;

namespace velmaro {

struct Mp4Options {
    // The first picture's recording time, seconds since 1970 as the camera's clock shows
    // them; the file's creation time. None: the file carries no creation time.
    std::optional<int64_t> creationTime;
    std::vector<SubtitleCue> cues;  // in time order; none: no text track
    // The stream stops inside a recording, so its last picture may be cut short: it is left
    // out rather than shown broken.
    bool lastPictureMayBeCut = false;
};

class Mp4Remux {
  public:
    // Puts up to `size` bytes of the stream into `data`; gives how many, 0 at the stream's end,
    // or a negative number when it broke off.
    using ReadStream = std::function<int(uint8_t* data, int size)>;

    Mp4Remux();
    ~Mp4Remux();
    Mp4Remux(const Mp4Remux&) = delete;
    Mp4Remux& operator=(const Mp4Remux&) = delete;

    // Reads the stream's head to learn its streams and writes the MP4's header into `fd`, an
    // empty file this writes from its start and also reads back. False with `error` set when
    // the stream holds no video or the file cannot be written.
    bool Open(ReadStream read, int fd, const Mp4Options& options, std::string& error);
    // Copies the stream's pictures and sound from the first key picture on, until the stream
    // ends. False with `error` set when it broke off or writing failed.
    bool CopyPackets(std::string& error);
    // Writes the captions still due and the index. The file is complete once this returns
    // true; it is not yet flushed to the medium.
    bool Finish(std::string& error);
    // Frees everything; an unfinished file is left to its owner.
    void Close();

    int64_t PicturesWritten() const { return pictures_; }

    struct FdIo;  // a file handle with its own offset, behind an AVIOContext

  private:
    bool OpenInput(std::string& error);
    bool OpenOutput(int fd, std::string& error);
    bool AddStream(int inputIndex, std::string& error);
    bool AddTextStream(std::string& error);
    bool WriteHeader(std::string& error);
    bool CopyPacket(AVPacket* packet, std::string& error);
    bool WritePacket(AVPacket* packet, std::string& error);
    bool WriteCuesBefore(int64_t ms, std::string& error);
    static int ReadTrampoline(void* opaque, uint8_t* data, int size);
    static int OpenForReading(AVFormatContext* s, AVIOContext** pb, const char* url, int flags,
                              AVDictionary** options);
    static int CloseReading(AVFormatContext* s, AVIOContext* pb);

    ReadStream read_;
    Mp4Options options_;
    AVFormatContext* input_ = nullptr;
    AVIOContext* inputIo_ = nullptr;
    AVFormatContext* output_ = nullptr;
    AVIOContext* outputIo_ = nullptr;
    std::unique_ptr<FdIo> outputFd_;
    std::unique_ptr<FdIo> readBackFd_;  // the muxer's second look at the file
    std::vector<int> outputIndex_;      // by input stream; -1: not copied
    AVPacket* heldPicture_ = nullptr;   // the latest picture, written once the next one comes
    int videoInput_ = -1;
    int textOutput_ = -1;
    int64_t start_ = 0;  // microseconds of the stream's clock at the clip's time 0
    bool started_ = false;
    size_t nextCue_ = 0;
    int64_t pictures_ = 0;
    int64_t videoEndMs_ = 0;  // where the last picture written ends, in the clip's time
    bool headerWritten_ = false;
};

}  // namespace velmaro
