// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// PlaybackChannel: everything needed to play one recording: the reader, the two frame queues, the
// video and audio workers, the pacing clock and the recording list. The playback session creates
// one per opened recording and deletes it to close the recording; the user-interface thread
// drives it through its control fields and operations.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "media/audio_decoder.h"
#include "media/sound_output.h"
#include "media/video_decoder.h"
#include "stream/channel_state.h"
#include "stream/recording_index.h"
#include "stream/ts_reader.h"

namespace velmaro {

class MessageSink;
class TelemetryHandOver;
class VideoOutput;

constexpr uint32_t kChannelWorkerTimeoutMs = 10000;
constexpr int kSpeedPositions = 9;  // the speed control's positions 0..8
constexpr int kNormalSpeedPosition = 4;

struct ChannelLinks {
    MessageSink* panel = nullptr;       // positions, list ready
    MessageSink* mainWindow = nullptr;  // telemetry ready, reader resets
    TelemetryHandOver* telemetry = nullptr;
    VideoOutput* videoWindow = nullptr;
    int32_t displayMode = kDisplayYv12;
    double soundAmplification = 1.0;
    int32_t decoderThreads = 0;  // chosen by the video worker
    SoundVolume volume{};        // the player's own, full unless the user turned it down
};

// A mark in the export's terms: the export copies the whole 8,192-byte blocks after a mark-in's
// position and before a mark-out's. Marks are set at the picture on screen, widened to whole
// groups of pictures so that the clip's first picture decodes and its last group is complete.
struct ClipMark {
    std::string path;
    int32_t number = -1;
    int64_t position = -1;
};

class PlaybackChannel {
  public:
    explicit PlaybackChannel(const ChannelLinks& links);
    PlaybackChannel(const PlaybackChannel&) = delete;
    PlaybackChannel& operator=(const PlaybackChannel&) = delete;
    virtual ~PlaybackChannel();

    // Starts the workers and the reader on `filePath`. With no list the folder of the file is
    // scanned in the background; a card's list is taken as it is.
    bool Open(const std::vector<RecordingEntry>* list = nullptr);
    // Queues first (a reader blocked in a full queue is released), then the reader, then the
    // workers with their time-outs.
    void StopAll();

    int32_t Seek(int32_t perMille);
    // Plays on from a mark: a byte seek in the file being read, else that file opened at
    // the mark's share of it.
    void PlayFromMark(const ClipMark& mark);
    void JumpToTime(int64_t time);
    // Plays on from the moment `time` of the card: inside the file being played a seek there,
    // in another file that file from the same share of its duration; past the last file nothing.
    void PlayFromTime(int64_t time);
    void RequestSnapshot(const SnapshotRequest& request);
    void MarkIn();
    void MarkOut();
    // The file of the picture on screen; near a file's end the reader may already be in the
    // next one. The reader's file while nothing has been shown.
    std::string ShownFilePath() const;
    ClipMark MarkInPoint() const;
    ClipMark MarkOutPoint() const;

    // The play controls as the panel applies them.
    void Play();
    void PlayBackward();
    void Pause();
    void Step(bool backward);
    void SetSpeed(int position);  // 0 (slowest) .. 8 (fastest), 4 normal
    // Heard from the next decoded sound block on.
    void SetSoundAmplification(double factor);
    // The player's own volume, heard from the device's next pull.
    void SetVolume(SoundVolume volume);
    SoundVolume Volume() const { return audio.Volume(); }
    void PreviousRecording();
    void NextRecording();

    std::string filePath;  // the recording to open; set before Open
    ChannelState state;
    VideoDecoder video;
    AudioDecoder audio;
    RecordingIndex recordings;
    TsReader reader;

  private:
    static ReaderLinks MakeReaderLinks(ChannelState& state, const ChannelLinks& links);
    void ChangeDirection(bool backward);
    void SeekToByte(int64_t position);
    void RestartAtPicture();
    ResumePoint GoOnFromPicture(const ShownPicture& shown, bool forward);
    bool MarkAtPicture(ClipMark& mark, bool groupEnd) const;
    void MarkAtReader(ClipMark& mark) const;

    ChannelLinks links_;
    mutable std::mutex marksMutex_;  // marks are set on the UI thread, read by an export
    ClipMark markIn_;
    ClipMark markOut_;
};

}  // namespace velmaro
