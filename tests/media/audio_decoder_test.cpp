// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The AAC decoder and the audio worker on real AAC: the sample recording's audio PES payloads,
// and a 44.1 kHz stereo stream encoded here, played into a real SDL device (dummy driver) or
// into no device at all.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <numbers>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "media/aac_decoder.h"
#include "media/audio_decoder.h"
#include "stream/channel_state.h"
#include "stream/demux.h"
#include "stream/ts_packet.h"
#include "tests/test_support.h"
#include "tools/make_recording/aac_encoder.h"
#include "tools/make_recording/av_ptr.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr size_t kAacFrameSamples = 1024;
constexpr double kAudibleRms = 2000.0;  // the generator's tone has an RMS near 5,800
constexpr int kPrequeuedFrames = 12;    // fits the audio queue without blocking its producer

// Bounded at twice the shared patience; still only a guard against a hang.
bool WaitFor(const std::function<bool()>& done) {
    return test::WaitUntil(done, std::chrono::seconds(60));
}

double Rms(const std::vector<int16_t>& samples) {
    double sum = 0.0;
    for (int16_t s : samples) {
        sum += static_cast<double>(s) * s;
    }
    return samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

// libavcodec's own messages, turned down while a test feeds it junk on purpose.
class QuietLog {
  public:
    explicit QuietLog(int level) : saved_(av_log_get_level()) { av_log_set_level(level); }
    ~QuietLog() { av_log_set_level(saved_); }
    QuietLog(const QuietLog&) = delete;
    QuietLog& operator=(const QuietLog&) = delete;

  private:
    int saved_;
};

// The audio PES payloads of a transport stream file, as the demultiplexer queues them.
std::vector<Bytes> AudioPayloads(const std::string& path) {
    const Bytes file = test::ReadBytes(path);
    DemuxState state;
    AudioFrameQueue queue;
    FrameItem producer;
    std::vector<Bytes> payloads;
    if (!state.PrepareBuffers() ||
        !queue.Init(kAudioQueueStorage, kAudioQueueMaxItem, kQueueStopped)) {
        return payloads;
    }
    queue.Trim(&producer);
    const DemuxOutputs out{nullptr, nullptr, &queue, &producer, nullptr, nullptr};
    const DemuxControls controls;
    auto drain = [&] {
        FrameItem item;
        while (queue.Take(item)) {
            payloads.emplace_back(item.data, item.data + item.size);
        }
    };
    for (size_t at = 0; at + kTsPacketSize <= file.size(); at += kTsPacketSize) {
        RoutePacket(state, file.data() + at, out, controls, PacketFlow::kForward);
        drain();
    }
    FlushPendingPes(state, out, controls);
    drain();
    return payloads;
}

// ADTS frames of a tone encoded by libavcodec's AAC encoder at another rate and layout than the
// camera's; each decodes to a block that does not divide a chunk.
std::vector<Bytes> EncodeAdts(int rate, int channels, int count) {
    // The encoder reports its statistics and unflushed frames on closing; neither matters here.
    const QuietLog quiet(AV_LOG_ERROR);
    std::vector<Bytes> frames;
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    av::CodecContextPtr context(codec ? avcodec_alloc_context3(codec) : nullptr);
    av::FramePtr frame(av_frame_alloc());
    av::PacketPtr packet(av_packet_alloc());
    if (!context || !frame || !packet) {
        return frames;
    }
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context->sample_rate = rate;
    av_channel_layout_default(&context->ch_layout, channels);
    context->bit_rate = 128000;
    context->time_base = AVRational{1, rate};
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        return frames;
    }
    frame->format = context->sample_fmt;
    frame->sample_rate = rate;
    frame->nb_samples = context->frame_size;
    if (av_channel_layout_copy(&frame->ch_layout, &context->ch_layout) < 0 ||
        av_frame_get_buffer(frame.get(), 0) < 0) {
        return frames;
    }
    int64_t sample = 0;
    while (static_cast<int>(frames.size()) < count) {
        av_frame_make_writable(frame.get());
        for (int ch = 0; ch < channels; ++ch) {
            auto* out = reinterpret_cast<float*>(frame->data[ch]);
            for (int i = 0; i < frame->nb_samples; ++i) {
                out[i] = static_cast<float>(
                    0.3 * std::sin(2.0 * std::numbers::pi * 440.0 * (sample + i) / rate));
            }
        }
        frame->pts = sample;
        sample += frame->nb_samples;
        if (avcodec_send_frame(context.get(), frame.get()) < 0) {
            return {};
        }
        while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
            Bytes adts = AdtsHeader(static_cast<size_t>(packet->size), rate, channels);
            adts.insert(adts.end(), packet->data, packet->data + packet->size);
            frames.push_back(std::move(adts));
            av_packet_unref(packet.get());
        }
    }
    frames.resize(static_cast<size_t>(count));
    return frames;
}

// What a fresh decoder makes of the frames: the reference the worker's ring must carry.
std::vector<int16_t> DecodeAll(const std::vector<Bytes>& frames,
                               std::vector<size_t>* blockSizes = nullptr) {
    AacDecoder decoder;
    std::vector<int16_t> samples;
    if (!decoder.Open()) {
        return samples;
    }
    for (const Bytes& frame : frames) {
        const size_t before = samples.size();
        size_t at = 0;
        while (at < frame.size()) {
            const size_t used = decoder.DecodeFrame(frame.data() + at, frame.size() - at, samples);
            if (used == 0) {
                break;
            }
            at += used;
        }
        if (blockSizes) {
            blockSizes->push_back(samples.size() - before);
        }
    }
    return samples;
}

// One sample recording for the whole suite: 2 s of the generator's tone.
class Recording {
  public:
    static const Recording& Get() {
        static const Recording recording;
        return recording;
    }
    std::vector<Bytes> payloads;
    int audioFrames = 0;

  private:
    Recording() {
        const fs::path root =
            fs::temp_directory_path() / ("velmaro_audio_" + std::to_string(getpid()));
        RecordingOptions options;
        options.outRoot = root.string();
        options.files = 1;
        options.secondsPerFile = 2;
        options.width = 320;
        options.height = 240;
        const RecordingResult result = WriteRecording(options);
        if (result.ok && !result.files.empty()) {
            payloads = AudioPayloads(result.files[0]);
            audioFrames = result.stats[0].audioFrames;
        }
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

// --- decoder -------------------------------------------------------------------------------

TEST(AacDecoder, RecordingAudioDecodesToMono48kHzWith1024SamplesPerFrameAndTheToneIsAudible) {
    const Recording& recording = Recording::Get();
    ASSERT_GT(recording.audioFrames, 40);
    ASSERT_EQ(recording.payloads.size(), static_cast<size_t>(recording.audioFrames));
    AacDecoder decoder;
    ASSERT_TRUE(decoder.Open());
    std::vector<int16_t> samples;
    for (const Bytes& payload : recording.payloads) {
        const size_t before = samples.size();
        ASSERT_EQ(decoder.DecodeFrame(payload.data(), payload.size(), samples), payload.size())
            << "one ADTS frame per PES, taken whole";
        ASSERT_EQ(samples.size() - before, kAacFrameSamples);
    }
    EXPECT_GT(Rms(samples), kAudibleRms);
}

TEST(AacDecoder, OtherRatesAndLayoutsBecomeMono48kHz) {
    const std::vector<Bytes> frames = EncodeAdts(44100, 2, 40);
    ASSERT_EQ(frames.size(), 40u);
    const std::vector<int16_t> samples = DecodeAll(frames);
    // 1,024 samples at 44.1 kHz are 1,114.6 at 48 kHz; the resampler holds back a few.
    const double expected = 40.0 * kAacFrameSamples * 48000.0 / 44100.0;
    EXPECT_NEAR(static_cast<double>(samples.size()), expected, 64.0);
    // Both channels carry the same tone; the down-mix keeps it audible.
    EXPECT_GT(Rms(std::vector<int16_t>(samples.begin() + 4096, samples.end())), kAudibleRms);
}

TEST(AacDecoder, FramingIsCheckedBeforeAnythingReachesTheDecoder) {
    Bytes frame = AdtsHeader(100, 48000, 1);
    frame.resize(107, 0);
    EXPECT_EQ(AdtsFrameLength(frame.data(), frame.size()), 107u);
    EXPECT_EQ(AdtsFrameLength(frame.data(), 106), 0u) << "truncated frame";
    EXPECT_EQ(AdtsFrameLength(frame.data(), 6), 0u) << "not even a header";
    EXPECT_EQ(AdtsFrameLength(nullptr, 0), 0u);

    Bytes noSync = frame;
    noSync[1] = 0xE1;
    EXPECT_EQ(AdtsFrameLength(noSync.data(), noSync.size()), 0u);
    Bytes layer = frame;
    layer[1] |= 0x02;
    EXPECT_EQ(AdtsFrameLength(layer.data(), layer.size()), 0u) << "layer must be 0";

    Bytes headerOnly = AdtsHeader(0, 48000, 1);
    EXPECT_EQ(AdtsFrameLength(headerOnly.data(), headerOnly.size()), 0u) << "no payload";
    Bytes withCrc = AdtsHeader(2, 48000, 1);  // 9 bytes long: exactly a header with CRC
    withCrc[1] &= 0xFE;
    withCrc.resize(9, 0);
    EXPECT_EQ(AdtsFrameLength(withCrc.data(), withCrc.size()), 0u) << "CRC header, no payload";

    AacDecoder closed;
    std::vector<int16_t> out;
    EXPECT_EQ(closed.DecodeFrame(frame.data(), frame.size(), out), 0u) << "not opened";
}

TEST(AudioAmplification, SaturatesAtTheSixteenBitLimitsInsteadOfWrapping) {
    std::vector<int16_t> samples{4000, -4000, 1000, -1000, 0, 32767, -32768};
    AmplifySamples(samples, 10.0);
    EXPECT_EQ(samples, (std::vector<int16_t>{32767, -32768, 10000, -10000, 0, 32767, -32768}));

    const std::vector<int16_t> original{4000, -4000, 123};
    for (double factor : {1.0, 0.0, -2.0, std::nan(""), HUGE_VAL}) {
        std::vector<int16_t> same = original;
        AmplifySamples(same, factor);
        EXPECT_EQ(same, original) << factor;
    }
}

// --- worker --------------------------------------------------------------------------------

// The reader's side of the audio queue: frames written in place at the producer's position.
class Producer {
  public:
    explicit Producer(AudioFrameQueue& queue) : queue_(queue) { queue_.Trim(&item_); }
    ~Producer() {
        queue_.Stop();  // releases a push blocked on a full queue
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    void Push(const Bytes& frame) {
        std::memcpy(item_.data, frame.data(), frame.size());
        item_.size = static_cast<int32_t>(frame.size());
        item_.kind = kKindAudio;
        queue_.Push(item_);
    }
    // Pushes on a thread of its own, blocking whenever the queue is full, as the reader does.
    void PushAsync(std::vector<Bytes> frames) {
        thread_ = std::thread([this, frames = std::move(frames)] {
            for (const Bytes& frame : frames) {
                Push(frame);
            }
            done_.store(true);
        });
    }
    bool Done() const { return done_.load(); }

  private:
    AudioFrameQueue& queue_;
    FrameItem item_;
    std::thread thread_;
    std::atomic<bool> done_{false};
};

class AudioWorker : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        ASSERT_TRUE(queueReady);
        audio.SetChunkTap([this](std::span<const int16_t> chunk) {
            std::lock_guard guard(lock);
            ring.insert(ring.end(), chunk.begin(), chunk.end());
        });
    }
    void TearDown() override { setenv("SDL_AUDIODRIVER", "dummy", 1); }

    std::vector<Bytes> Frames(size_t count) const {
        const auto& all = Recording::Get().payloads;
        return {all.begin(), all.begin() + static_cast<long>(std::min(count, all.size()))};
    }
    // All `frames` are taken and everything they held is in the ring. A chunk that ends in
    // silence is only written once nothing is left to decode or carry over; the first one to end
    // after the last frame was taken marks the point.
    bool SettlesAfter(uint64_t frames) {
        bool taken = false;
        uint64_t silenceBefore = 0;
        return WaitFor([&] {
            const AudioCounters c = audio.Counters();  // loads framesTaken before silenceSamples
            if (!taken) {
                taken = c.framesTaken == frames;
                silenceBefore = c.silenceSamples;
                return false;
            }
            return c.silenceSamples > silenceBefore;
        });
    }
    std::vector<int16_t> Ring() {
        std::lock_guard guard(lock);
        return ring;
    }

    // In this order: the worker stops first, then the producer, and the tap's target and the
    // queue outlive both.
    ChannelState channel;
    const bool queueReady =
        channel.audioQueue.Init(kAudioQueueStorage, kAudioQueueMaxItem, kQueueBlocking);
    std::mutex lock;
    std::vector<int16_t> ring;  // guarded by lock: every chunk written, in order
    Producer producer{channel.audioQueue};
    AudioDecoder audio{&channel};
};

TEST_F(AudioWorker, PlaysTheRecordingsToneIntoTheDevice) {
    const std::vector<Bytes> frames = Frames(48);
    ASSERT_EQ(frames.size(), 48u);
    ASSERT_TRUE(audio.Start());
    ASSERT_TRUE(audio.HasSound());
    producer.PushAsync(frames);
    ASSERT_TRUE(SettlesAfter(frames.size()));
    ASSERT_TRUE(audio.Stop(kWorkerStopTimeoutMs));
    const AudioCounters c = audio.Counters();
    EXPECT_EQ(c.aacFrames, frames.size());
    EXPECT_EQ(c.samplesDecoded, frames.size() * kAacFrameSamples);
    EXPECT_EQ(c.framesDiscarded, 0u);
    const std::vector<int16_t> played = Ring();
    EXPECT_EQ(played.size(), c.chunksWritten * kSoundChunkSamples);
    EXPECT_EQ(c.samplesWritten + c.silenceSamples, played.size());
    std::vector<int16_t> sound;
    std::copy_if(played.begin(), played.end(), std::back_inserter(sound),
                 [](int16_t s) { return s != 0; });
    EXPECT_GT(Rms(sound), kAudibleRms);
    EXPECT_FALSE(audio.HasSound()) << "stop closes the device";
}

// 44.1 kHz blocks of about 1,115 samples never line up with 3,072-sample chunks, so nearly
// every chunk ends inside a block. The ring must carry exactly the decoder's output, in order.
TEST_F(AudioWorker, BlocksLargerThanTheRoomLeftAreCarriedIntoTheNextChunk) {
    const std::vector<Bytes> frames = EncodeAdts(44100, 2, kPrequeuedFrames);
    ASSERT_EQ(frames.size(), static_cast<size_t>(kPrequeuedFrames));
    std::vector<size_t> blocks;
    const std::vector<int16_t> reference = DecodeAll(frames, &blocks);
    ASSERT_GT(reference.size(), 4u * kSoundChunkSamples);
    ASSERT_NE(kSoundChunkSamples % blocks.back(), 0u);
    for (const Bytes& frame : frames) {
        producer.Push(frame);  // all queued before the worker starts: no gap between them
    }
    ASSERT_TRUE(audio.Start());
    ASSERT_TRUE(SettlesAfter(frames.size()));
    ASSERT_TRUE(audio.Stop(kWorkerStopTimeoutMs));
    const AudioCounters c = audio.Counters();
    EXPECT_EQ(c.samplesDecoded, reference.size());
    EXPECT_EQ(c.samplesWritten, reference.size()) << "samples in = samples out";
    const std::vector<int16_t> played = Ring();
    ASSERT_GE(played.size(), reference.size());
    EXPECT_TRUE(std::equal(reference.begin(), reference.end(), played.begin()));
    EXPECT_TRUE(std::all_of(played.begin() + static_cast<long>(reference.size()), played.end(),
                            [](int16_t s) { return s == 0; }))
        << "after the last frame only silence";
}

TEST_F(AudioWorker, AmplificationSaturatesEverySampleOnTheWayToTheDevice) {
    channel.soundAmplification = 10.0;
    const std::vector<Bytes> frames = Frames(kPrequeuedFrames);
    std::vector<int16_t> expected = DecodeAll(frames);
    AmplifySamples(expected, 10.0);
    ASSERT_NE(std::find(expected.begin(), expected.end(), 32767), expected.end());
    ASSERT_NE(std::find(expected.begin(), expected.end(), -32768), expected.end());
    for (const Bytes& frame : frames) {
        producer.Push(frame);
    }
    ASSERT_TRUE(audio.Start());
    ASSERT_TRUE(SettlesAfter(frames.size()));
    ASSERT_TRUE(audio.Stop(kWorkerStopTimeoutMs));
    const std::vector<int16_t> played = Ring();
    ASSERT_GE(played.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), played.begin()));
}

// The preferences change the amplification while a recording plays: the next block decoded
// is heard with the new factor, without reopening anything.
TEST_F(AudioWorker, AmplificationChangedWhilePlayingIsHeardFromTheNextBlock) {
    const std::vector<Bytes> frames = Frames(kPrequeuedFrames);
    std::vector<int16_t> quiet = DecodeAll({frames.begin(), frames.begin() + 4});
    std::vector<int16_t> loud = DecodeAll(frames);
    loud.erase(loud.begin(), loud.begin() + static_cast<long>(quiet.size()));
    AmplifySamples(loud, 4.0);
    for (size_t i = 0; i < 4; ++i) {
        producer.Push(frames[i]);
    }
    ASSERT_TRUE(audio.Start());
    ASSERT_TRUE(SettlesAfter(4));
    channel.soundAmplification = 4.0;
    for (size_t i = 4; i < frames.size(); ++i) {
        producer.Push(frames[i]);
    }
    ASSERT_TRUE(SettlesAfter(frames.size()));
    ASSERT_TRUE(audio.Stop(kWorkerStopTimeoutMs));
    std::vector<int16_t> played = Ring();
    played.erase(std::remove(played.begin(), played.end(), int16_t{0}), played.end());
    quiet.erase(std::remove(quiet.begin(), quiet.end(), int16_t{0}), quiet.end());
    loud.erase(std::remove(loud.begin(), loud.end(), int16_t{0}), loud.end());
    ASSERT_EQ(played.size(), quiet.size() + loud.size());
    EXPECT_TRUE(std::equal(quiet.begin(), quiet.end(), played.begin())) << "before the change";
    EXPECT_TRUE(
        std::equal(loud.begin(), loud.end(), played.begin() + static_cast<long>(quiet.size())))
        << "after the change";
}

TEST_F(AudioWorker, SeveralAdtsFramesInOnePesAreAllDecoded) {
    const std::vector<Bytes> frames = Frames(3);
    Bytes pes;
    for (const Bytes& frame : frames) {
        pes.insert(pes.end(), frame.begin(), frame.end());
    }
    producer.Push(pes);
    ASSERT_TRUE(audio.Start());
    ASSERT_TRUE(SettlesAfter(1));
    ASSERT_TRUE(audio.Stop(kWorkerStopTimeoutMs));
    EXPECT_EQ(audio.Counters().aacFrames, 3u);
    EXPECT_EQ(audio.Counters().samplesWritten, 3 * kAacFrameSamples);
}

struct Silencer {
    const char* name;
    bool audioEnabled;
    bool videoHeld;
};
void PrintTo(const Silencer& silencer, std::ostream* out) {
    *out << silencer.name;
}

class SilencedAudioWorker : public AudioWorker, public ::testing::WithParamInterface<Silencer> {};

// More frames than the queue holds: the producer only finishes if the worker keeps taking them.
TEST_P(SilencedAudioWorker, PlaysSilenceWhileStillDrainingTheQueue) {
    channel.audioEnabled = GetParam().audioEnabled;
    channel.videoHeld = GetParam().videoHeld;
    const std::vector<Bytes> frames = Frames(60);
    for (int i = 0; i < kPrequeuedFrames; ++i) {
        producer.Push(frames[static_cast<size_t>(i)]);
    }
    ASSERT_TRUE(audio.Start());
    ASSERT_TRUE(WaitFor([&] { return audio.Counters().chunksWritten >= 1; }));
    EXPECT_EQ(audio.Counters().framesTaken, static_cast<uint64_t>(kPrequeuedFrames))
        << "one silent chunk empties the whole queue, not just a frame of it";
    producer.PushAsync({frames.begin() + kPrequeuedFrames, frames.end()});
    ASSERT_TRUE(WaitFor([&] { return producer.Done(); }));
    ASSERT_TRUE(SettlesAfter(frames.size()));
    ASSERT_TRUE(WaitFor([&] { return audio.Counters().chunksWritten >= 4; }));

    // Sound again as soon as the channel allows it.
    channel.audioEnabled = true;
    channel.videoHeld = false;
    Producer again(channel.audioQueue);
    again.PushAsync(Frames(6));
    ASSERT_TRUE(WaitFor([&] { return audio.Counters().samplesWritten == 6 * kAacFrameSamples; }));
    ASSERT_TRUE(audio.Stop(kWorkerStopTimeoutMs));

    const AudioCounters c = audio.Counters();
    EXPECT_EQ(c.framesDiscarded, frames.size());
    EXPECT_EQ(c.samplesDecoded, 6 * kAacFrameSamples) << "silenced frames are not decoded";
    const std::vector<int16_t> played = Ring();
    const auto firstSound =
        std::find_if(played.begin(), played.end(), [](int16_t s) { return s != 0; });
    EXPECT_GE(firstSound - played.begin(), 4 * kSoundChunkSamples)
        << "the device kept getting silent chunks meanwhile";
    EXPECT_NE(firstSound, played.end());
}

INSTANTIATE_TEST_SUITE_P(AudioWorker, SilencedAudioWorker,
                         ::testing::Values(Silencer{"AudioDisabled", false, false},
                                           Silencer{"VideoHeld", true, true}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(AudioWorker, WithoutADeviceQueuedFramesAreDiscardedAndTheQueueNeverBacksUp) {
    setenv("SDL_AUDIODRIVER", "nonexistent", 1);
    const std::vector<Bytes> frames = Frames(90);
    ASSERT_TRUE(audio.Start()) << "a missing device does not stop the start";
    EXPECT_FALSE(audio.HasSound());
    producer.PushAsync(frames);
    ASSERT_TRUE(WaitFor([&] { return producer.Done(); }));
    ASSERT_TRUE(WaitFor([&] { return audio.Counters().framesDiscarded == frames.size(); }));
    ASSERT_TRUE(audio.Stop(kWorkerStopTimeoutMs));
    const AudioCounters c = audio.Counters();
    EXPECT_EQ(c.framesTaken, frames.size());
    EXPECT_EQ(c.samplesDecoded, 0u);
    EXPECT_EQ(c.chunksWritten, 0u);
    EXPECT_TRUE(Ring().empty());
}

TEST_F(AudioWorker, StartAndStopFiftyTimesIsClean) {
    const std::vector<Bytes> frames = Frames(50);
    for (size_t i = 0; i < frames.size(); ++i) {
        ASSERT_TRUE(audio.Start()) << i;
        EXPECT_TRUE(audio.HasSound());
        EXPECT_FALSE(audio.Start()) << "already running";
        producer.Push(frames[i]);
        // Taken before the stop, or fifty pushes would fill the queue and block the producer.
        ASSERT_TRUE(WaitFor([&] { return audio.Counters().framesTaken == 1; }));
        if (i % 10 == 0) {  // sometimes let it reach a notification wait
            ASSERT_TRUE(WaitFor([&] { return audio.Counters().chunksWritten >= 2; }));
        }
        ASSERT_TRUE(audio.Stop(kWorkerStopTimeoutMs)) << i;
        ASSERT_FALSE(audio.ThreadAlive());
        ASSERT_FALSE(audio.HasSound());
    }
}

TEST_F(AudioWorker, DamagedFramesAreDroppedAndTheWorkerPlaysOn) {
    const QuietLog quiet(AV_LOG_QUIET);
    std::mt19937 random(11);
    std::vector<Bytes> items;
    for (int i = 0; i < 300; ++i) {
        Bytes junk(1 + random() % 3000);
        std::generate(junk.begin(), junk.end(), [&] { return static_cast<uint8_t>(random()); });
        if (i % 3 == 0) {
            const Bytes header = AdtsHeader(junk.size() + 40, 48000, 1);  // claims too much
            junk.insert(junk.begin(), header.begin(), header.end());
        } else if (i % 3 == 1) {  // well framed: the garbage reaches the decoder itself
            const Bytes header =
                AdtsHeader(junk.size(), i % 2 == 0 ? 48000 : 22050, 1 + (i / 3) % 5);
            junk.insert(junk.begin(), header.begin(), header.end());
        }
        items.push_back(std::move(junk));
    }
    const std::vector<Bytes> real = Frames(10);
    items.insert(items.end(), real.begin(), real.end());
    ASSERT_TRUE(audio.Start());
    producer.PushAsync(items);
    const bool settled = SettlesAfter(items.size());
    ASSERT_TRUE(audio.Stop(kWorkerStopTimeoutMs));
    ASSERT_TRUE(settled);
    const AudioCounters c = audio.Counters();
    EXPECT_GE(c.decodeFailures, 200u);
    // The decoder may need a frame to find its feet after the garbage, no more.
    EXPECT_GE(c.samplesWritten, (real.size() - 2) * kAacFrameSamples);
}

}  // namespace
}  // namespace velmaro
