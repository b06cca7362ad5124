// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The clip export worker on generated cards: transport stream clips compared byte for byte with
// the stretch the block rules select (worked out here from the file sizes and marks), AVI clips
// checked with ffprobe and ffmpeg, the access-unit rules on hand-built streams, and the output
// guarantees: a failed, stopped or abandoned export never leaves or damages a file.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "export/clip_export.h"
#include "stream/ts_builder.h"
#include "tests/export/clip_checks.h"
#include "tests/export/export_support.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ClipRequest;
using test::DecodeErrors;
using test::kAudioPid;
using test::kBlock;
using test::kExportPatience;
using test::kPacket;
using test::kPmtPid;
using test::kVideoPid;
using test::NamesIn;
using test::Pid;
using test::ProbeStreams;
using test::ReadBytes;
using test::SmallCard;
using test::StreamFields;
using test::TempDir;
using test::WriteBytes;

bool Pusi(const uint8_t* p) {
    return (p[1] & 0x40) != 0;
}

// Video PES that begin in bytes made of whole packets.
int CountVideoPes(const uint8_t* bytes, size_t size) {
    int count = 0;
    for (size_t at = 0; at + kPacket <= size; at += kPacket) {
        count += Pid(bytes + at) == kVideoPid && Pusi(bytes + at) ? 1 : 0;
    }
    return count;
}

// A byte range of one source file.
struct Piece {
    std::string path;
    int64_t begin;
    int64_t end;
};

// The generated files are packet-aligned from their first byte, which makes the block rules
// plain arithmetic: a stretch starts at the first packet at or after the start of the block
// that ends beyond the mark-in, and ends with the last packet that ends within the last block
// that ends before the mark-out (or with the file).
int64_t FirstPmtPacket(const Bytes& file) {
    for (size_t at = 0; at + kPacket <= file.size(); at += kPacket) {
        if (Pid(file.data() + at) == kPmtPid) {
            return static_cast<int64_t>(at);
        }
    }
    return -1;
}

int64_t PacketCeil(int64_t v) {
    return (v + kPacket - 1) / kPacket * kPacket;
}
int64_t PacketFloor(int64_t v) {
    return v / kPacket * kPacket;
}

// End of the last block that ends before `markOut` in a file of `size` bytes; the file's end
// when the mark-out is there.
int64_t LastBlockEndBefore(int64_t markOut, int64_t size) {
    if (markOut >= size) {
        return size;
    }
    int64_t last = 0;
    for (int64_t end = kBlock;; end += kBlock) {
        const int64_t r = std::min(end, size);
        if (r >= markOut) {
            return last;
        }
        last = r;
        if (r == size) {
            return last;
        }
    }
}

// Where the stretch may begin in the mark-in file: the mark-in block, or the first program
// map packet if that lies later.
int64_t StretchThreshold(const std::string& markInFile, int64_t inPos) {
    return std::max(inPos / kBlock * kBlock, FirstPmtPacket(ReadBytes(markInFile)));
}

// The head, then the stretch file by file.
std::vector<Piece> ExpectedPieces(const std::vector<std::string>& files, size_t in, int64_t inPos,
                                  size_t out, int64_t outPos) {
    std::vector<Piece> pieces;
    const Bytes first = ReadBytes(files[in]);
    const int64_t pmt = FirstPmtPacket(first);
    pieces.push_back({files[in], 0, pmt});
    for (size_t f = in; f <= out; ++f) {
        const int64_t size = static_cast<int64_t>(fs::file_size(files[f]));
        int64_t begin = 0;
        if (f == in) {
            begin = PacketCeil(StretchThreshold(files[in], inPos));
        }
        int64_t end = PacketFloor(size);
        if (f == out) {
            end = PacketFloor(LastBlockEndBefore(outPos, size));
        }
        pieces.push_back({files[f], begin, end});
    }
    return pieces;
}

Bytes Concatenate(const std::vector<Piece>& pieces) {
    Bytes all;
    for (const Piece& p : pieces) {
        const Bytes file = ReadBytes(p.path);
        all.insert(all.end(), file.begin() + p.begin, file.begin() + p.end);
    }
    return all;
}

// The clip is the head, the tables in force where the stretch begins (unless it begins with
// the first map), then the stretch, its clocks going on across files; the player's reader plays
// every picture of the stretch from its first key picture on.
void ExpectClipOfPieces(const std::string& clipPath, const std::vector<Piece>& pieces,
                        int64_t inPos) {
    const Bytes clip = ReadBytes(clipPath);
    const Bytes head = Concatenate({pieces.front()});
    const Bytes stretch = Concatenate({pieces.begin() + 1, pieces.end()});
    const int64_t threshold = StretchThreshold(pieces.front().path, inPos);
    const size_t tables = threshold > pieces.front().end ? 2 * kPacket : 0;
    ASSERT_EQ(clip.size(), head.size() + tables + stretch.size());
    EXPECT_TRUE(std::equal(head.begin(), head.end(), clip.begin()));
    const Bytes clipStretch(clip.end() - static_cast<ptrdiff_t>(stretch.size()), clip.end());
    EXPECT_TRUE(test::WithoutClocks(clipStretch) == test::WithoutClocks(stretch));
    if (tables > 0) {
        const auto at = clip.begin() + static_cast<ptrdiff_t>(head.size());
        test::ExpectTablesInForce(Bytes(at, at + static_cast<ptrdiff_t>(tables)),
                                  ReadBytes(pieces.front().path), pieces.front().end, threshold);
    }
    EXPECT_GT(test::ExpectClipPlays(clipPath, stretch, kVideoPid), 0u);
}

// Collects the end report; lets a test hold the worker at its first progress report.
class Observer {
  public:
    ClipExport::EndCallback OnEnd() {
        return [this](const ExportOutcome& o) {
            std::lock_guard lock(mutex_);
            outcomes_.push_back(o);
            cv_.notify_all();
        };
    }
    // Holds the worker until Release or until it is told to stop.
    ClipExport::ProgressCallback Hold(std::atomic<ClipExport*>* self) {
        return [this, self](int64_t, int64_t) {
            std::unique_lock lock(mutex_);
            if (heldOnce_) {
                return;
            }
            heldOnce_ = true;
            held_ = true;
            cv_.notify_all();
            while (!released_ && (*self).load()->IsRunning()) {
                cv_.wait_for(lock, std::chrono::milliseconds(1));
            }
        };
    }
    bool WaitHeld() {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, kExportPatience, [&] { return held_; });
    }
    void Release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        cv_.notify_all();
    }
    std::optional<ExportOutcome> Wait(size_t count = 1) {
        std::unique_lock lock(mutex_);
        if (!cv_.wait_for(lock, kExportPatience, [&] { return outcomes_.size() >= count; })) {
            return std::nullopt;
        }
        return outcomes_[count - 1];
    }
    size_t Count() {
        std::lock_guard lock(mutex_);
        return outcomes_.size();
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<ExportOutcome> outcomes_;
    bool heldOnce_ = false;
    bool held_ = false;
    bool released_ = false;
};

void ExpectWholePackets(const Bytes& clip) {
    ASSERT_FALSE(clip.empty());
    ASSERT_EQ(clip.size() % kPacket, 0u);
    for (size_t at = 0; at < clip.size(); at += kPacket) {
        ASSERT_EQ(clip[at], 0x47) << "packet at " << at;
    }
}

// A card of six 2-second files, generated once for the whole suite.
class ClipExportOnCard : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        card_ = std::make_unique<TempDir>();
        recording_ = std::make_unique<RecordingResult>(WriteRecording(SmallCard(*card_, 6, 2)));
    }
    static void TearDownTestSuite() {
        recording_.reset();
        card_.reset();
    }
    void SetUp() override { ASSERT_TRUE(recording_->ok) << recording_->error; }

    static const std::string& File(int number) { return recording_->files[number - 1]; }
    static int64_t Size(int number) { return static_cast<int64_t>(fs::file_size(File(number))); }

    // Runs an export to its end.
    static ExportOutcome Export(const ExportRequest& request, ExportCounters* counters = nullptr,
                                int64_t* toDo = nullptr) {
        const test::ExportRun run = test::RunExport(request);
        if (counters != nullptr) {
            *counters = run.counters;
        }
        if (toDo != nullptr) {
            *toDo = run.bytesToDo;
            EXPECT_EQ(run.bytesDone,
                      run.outcome.end == ExportEnd::kFinished ? run.bytesToDo : run.bytesDone);
        }
        return run.outcome;
    }

    static std::unique_ptr<TempDir> card_;
    static std::unique_ptr<RecordingResult> recording_;
    TempDir out_;
};

std::unique_ptr<TempDir> ClipExportOnCard::card_;
std::unique_ptr<RecordingResult> ClipExportOnCard::recording_;

TEST_F(ClipExportOnCard, TsClipAcrossFilesHoldsTheHeadAndWholePacketsOfTheStretch) {
    const int64_t inPos = 5 * kBlock + 1000;  // inside a block: the whole block is taken
    const int64_t outPos = 9 * kBlock + 77;
    const std::string clipPath = out_.File("clip.ts");
    int64_t toDo = 0;
    const ExportOutcome outcome =
        Export(ClipRequest(clipPath, File(3), inPos, File(5), outPos), nullptr, &toDo);
    ASSERT_EQ(outcome.end, ExportEnd::kFinished) << outcome.reason;
    EXPECT_EQ(outcome.outputPath, clipPath);
    EXPECT_EQ(toDo, Size(3) - 5 * kBlock + Size(4) + outPos);

    const Bytes clip = ReadBytes(clipPath);
    ExpectWholePackets(clip);
    const std::vector<std::string> files(recording_->files.begin(), recording_->files.end());
    const std::vector<Piece> pieces = ExpectedPieces(files, 2, inPos, 4, outPos);
    ExpectClipOfPieces(clipPath, pieces, inPos);
    // The join into the stretch falls on a packet boundary inside the mark-in block.
    EXPECT_EQ(pieces[1].begin, PacketCeil(5 * kBlock));
    EXPECT_NE(pieces[1].begin % kBlock, 0);

    int stretchFrames = 0;
    for (size_t i = 1; i < pieces.size(); ++i) {
        const Bytes file = ReadBytes(pieces[i].path);
        stretchFrames += CountVideoPes(file.data() + pieces[i].begin,
                                       static_cast<size_t>(pieces[i].end - pieces[i].begin));
    }
    EXPECT_GT(stretchFrames, recording_->stats[3].videoFrames);
    EXPECT_EQ(CountVideoPes(clip.data(), clip.size()), stretchFrames);

    const std::vector<StreamFields> streams = ProbeStreams(clipPath);
    ASSERT_EQ(streams.size(), 3u);
    EXPECT_EQ(streams[0].at("codec_name"), "h264");
    EXPECT_EQ(streams[1].at("codec_name"), "aac");
    EXPECT_EQ(streams[0].at("nb_read_packets"), std::to_string(stretchFrames));
}

TEST_F(ClipExportOnCard, MarksInOneFileAHundredThousandBytesApart) {
    const int64_t inPos = 20000;
    const int64_t outPos = inPos + 100000;
    ASSERT_GT(Size(2), outPos + kBlock);
    const std::string clipPath = out_.File("same.nts");
    const ExportOutcome outcome = Export(ClipRequest(clipPath, File(2), inPos, File(2), outPos));
    ASSERT_EQ(outcome.end, ExportEnd::kFinished) << outcome.reason;
    const Bytes clip = ReadBytes(clipPath);
    ExpectWholePackets(clip);
    const int64_t head = FirstPmtPacket(ReadBytes(File(2)));
    const int64_t begin = PacketCeil(inPos / kBlock * kBlock);
    const int64_t end = PacketFloor(LastBlockEndBefore(outPos, Size(2)));
    ExpectClipOfPieces(clipPath, {{File(2), 0, head}, {File(2), begin, end}}, inPos);
    EXPECT_EQ(ProbeStreams(clipPath).size(), 3u);
}

TEST_F(ClipExportOnCard, MarkOutAtTheEndOfAFileEndsTheExportWithThatFile) {
    const std::vector<std::string> files(recording_->files.begin(), recording_->files.end());
    // In the middle of the card: file 5 is not touched.
    const std::string middle = out_.File("middle.ts");
    ExportOutcome outcome = Export(ClipRequest(middle, File(3), 30000, File(4), Size(4)));
    ASSERT_EQ(outcome.end, ExportEnd::kFinished) << outcome.reason;
    ExpectClipOfPieces(middle, ExpectedPieces(files, 2, 30000, 3, Size(4)), 30000);
    // The last file of the card: there is no next file, yet the export finishes.
    const std::string last = out_.File("last.ts");
    outcome = Export(ClipRequest(last, File(5), 0, File(6), Size(6)));
    ASSERT_EQ(outcome.end, ExportEnd::kFinished) << outcome.reason;
    ExpectClipOfPieces(last, ExpectedPieces(files, 4, 0, 5, Size(6)), 0);
    ExpectWholePackets(ReadBytes(last));
}

TEST_F(ClipExportOnCard, AviClipAcrossFilesDecodesAsH264AndMonoPcm) {
    const std::string clipPath = out_.File("clip.AVI");  // the suffix in any letter case
    ExportCounters counters;
    const ExportOutcome outcome =
        Export(ClipRequest(clipPath, File(3), 4 * kBlock, File(5), 12 * kBlock), &counters);
    ASSERT_EQ(outcome.end, ExportEnd::kFinished) << outcome.reason;

    const std::vector<StreamFields> streams = ProbeStreams(clipPath);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].at("codec_name"), "h264");
    EXPECT_EQ(streams[0].at("r_frame_rate"), "30/1");
    EXPECT_EQ(streams[0].at("width"), "320");
    EXPECT_EQ(streams[0].at("height"), "240");
    EXPECT_EQ(streams[0].at("nb_read_packets"), std::to_string(counters.videoFrames));
    EXPECT_EQ(streams[1].at("codec_name"), "pcm_s16le");
    EXPECT_EQ(streams[1].at("channels"), "1");
    EXPECT_EQ(streams[1].at("sample_rate"), "48000");
    EXPECT_EQ(DecodeErrors(clipPath), "");

    // All of file 4 and parts of files 3 and 5; the clip opens with a key frame.
    const int all = recording_->stats[2].videoFrames + recording_->stats[3].videoFrames +
                    recording_->stats[4].videoFrames;
    EXPECT_GT(counters.videoFrames, recording_->stats[3].videoFrames);
    EXPECT_LT(counters.videoFrames, all);
    EXPECT_GT(counters.framesBeforeKey, 0);
    const Bytes avi = ReadBytes(clipPath);
    ASSERT_GT(avi.size(), kAviHeaderBytes + 20);
    const uint8_t* first = avi.data() + kAviHeaderBytes + 12;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(first), 4), "00dc");
    EXPECT_EQ(first[8 + 4] & 0x1F, 7) << "the first frame starts with its sequence parameter set";
    // Both streams cover the same stretch: 1,600 samples per frame at 30 fps.
    EXPECT_NEAR(static_cast<double>(counters.audioSamples) / 1600.0,
                static_cast<double>(counters.videoFrames), 5.0);
}

// A camera file written by hand: the cases of the access-unit rules in one stream.
TEST(ClipExportUnits, AccessUnitsFromTheParameterSetsAndOneAacFrameOfSamples) {
    TempDir dir;
    // One real ADTS frame from a generated recording.
    const RecordingResult rec = WriteRecording(SmallCard(dir, 1, 1));
    ASSERT_TRUE(rec.ok) << rec.error;
    const Bytes source = ReadBytes(rec.files[0]);
    Bytes adts;  // the first audio PES, then its payload
    bool started = false;
    for (size_t at = 0; at + kPacket <= source.size(); at += kPacket) {
        const uint8_t* p = source.data() + at;
        if (Pid(p) != kAudioPid) {
            continue;
        }
        if (Pusi(p) && started) {
            break;
        }
        started = started || Pusi(p);
        if (started) {
            const int afc = (p[3] >> 4) & 3;
            const int start = afc == 3 ? 5 + p[4] : 4;
            adts.insert(adts.end(), p + start, p + kPacket);
        }
    }
    ASSERT_GT(adts.size(), 9u);
    adts.erase(adts.begin(), adts.begin() + 9 + adts[8]);  // the PES header
    ASSERT_EQ(adts[0], 0xFF);

    Bytes ts;
    auto add = [&ts](const std::vector<Bytes>& packets) {
        for (const Bytes& p : packets) {
            ts.insert(ts.end(), p.begin(), p.end());
        }
    };
    auto video = [](const Bytes& payload, int64_t pts) {
        return test::PesPackets(kVideoPid, test::Pes(0xE0, payload, pts, pts));
    };
    const Bytes keyUnit = test::AccessUnit(true);
    const Bytes interUnit = test::AccessUnit(false, 300, true);
    Bytes paramsOnly = {0,    0,    0,    1,    0x09, 0xF0, 0, 0, 0,    1,    0x67, 0x42,
                        0xC0, 0x1F, 0xDA, 0x01, 0,    0,    0, 1, 0x68, 0xCE, 0x3C, 0x80};
    paramsOnly.resize(paramsOnly.size() + 40, 0x11);
    Bytes oversize = test::AccessUnit(false, size_t{1} << 20);

    add({test::PatPacket(kPmtPid),
         test::PmtPacket(kPmtPid, {{0x1B, kVideoPid}, {0x0F, kAudioPid}})});
    add(video(test::AccessUnit(false), 3000));  // an inter frame before any key frame
    add(video(paramsOnly, 6000));               // parameter sets without a picture
    add(video(keyUnit, 9000));
    add(video(oversize, 12000));  // more than a PES buffer holds
    add(test::PesPackets(kAudioPid, test::Pes(0xC0, adts, 12000)));
    add(test::PesPackets(kAudioPid, test::Pes(0xC0, adts, 13920)));  // completes the first
    add(video(interUnit, 15000));
    add(video(test::AccessUnit(false), 18000));  // completes the one before; never itself
    for (int i = 0; i < 50; ++i) {               // a block and more of null packets
        const uint8_t none = 0;
        add({test::Packet(0x1FFF, false, &none, 0)});
    }
    const std::string input = dir.File("UNIT_0001.ts");
    WriteBytes(input, ts);

    const std::string clipPath = dir.File("units.avi");
    Observer observer;
    ClipExport backup(observer.OnEnd());
    ASSERT_TRUE(
        backup.Begin(ClipRequest(clipPath, input, 0, input, static_cast<int64_t>(ts.size()))))
        << backup.LastError();
    const std::optional<ExportOutcome> outcome = observer.Wait();
    ASSERT_TRUE(outcome.has_value());
    ASSERT_EQ(outcome->end, ExportEnd::kFinished) << outcome->reason;
    const ExportCounters counters = backup.Counters();
    EXPECT_EQ(counters.videoFrames, 2);
    EXPECT_EQ(counters.framesBeforeKey, 1);
    EXPECT_EQ(counters.oversizePes, 1);
    EXPECT_EQ(counters.audioSamples, 1024);

    // The chunks in file order: the key unit from its SPS on, the samples of one AAC frame,
    // then the inter unit from its three-byte slice start code on.
    const Bytes avi = ReadBytes(clipPath);
    size_t at = kAviHeaderBytes + 12;
    std::vector<std::pair<std::string, Bytes>> chunks;
    while (at + 8 <= avi.size() && std::string(avi.begin() + at, avi.begin() + at + 4) != "idx1") {
        const uint32_t size =
            avi[at + 4] | (avi[at + 5] << 8) | (avi[at + 6] << 16) | (uint32_t{avi[at + 7]} << 24);
        chunks.push_back({std::string(avi.begin() + at, avi.begin() + at + 4),
                          Bytes(avi.begin() + at + 8, avi.begin() + at + 8 + size)});
        at += 8 + size + (size & 1);
    }
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].first, "00dc");
    EXPECT_TRUE(chunks[0].second == Bytes(keyUnit.begin() + 6, keyUnit.end()));
    EXPECT_EQ(chunks[1].first, "01wb");
    EXPECT_EQ(chunks[1].second.size(), 2048u);
    EXPECT_EQ(chunks[2].first, "00dc");
    const Bytes sliceStart = {0, 0, 1, 0x41};
    const auto slice =
        std::search(interUnit.begin(), interUnit.end(), sliceStart.begin(), sliceStart.end());
    EXPECT_TRUE(chunks[2].second == Bytes(slice, interUnit.end()));
}

TEST_F(ClipExportOnCard, UnwritableOutputIsReportedAndLeavesNoFile) {
    const std::string regular = out_.File("regular");
    WriteBytes(regular, {1, 2, 3});
    for (const std::string name : {"clip.ts", "clip.avi"}) {
        ClipExport backup;
        EXPECT_FALSE(backup.Begin(ClipRequest(regular + "/" + name, File(3), 0, File(4), 1000)));
        EXPECT_FALSE(backup.LastError().empty());
        EXPECT_FALSE(backup.IsRunning());
    }
    // A folder under the output name stays a folder.
    fs::create_directory(out_.File("folder.ts"));
    ClipExport backup;
    EXPECT_FALSE(backup.Begin(ClipRequest(out_.File("folder.ts"), File(3), 0, File(4), 1000)));
    EXPECT_TRUE(fs::is_directory(out_.File("folder.ts")));
    // An AVI without a picture size cannot be created.
    ExportRequest noSize = ClipRequest(out_.File("nosize.avi"), File(3), 0, File(4), 1000);
    noSize.width = 0;
    EXPECT_FALSE(backup.Begin(noSize));
    EXPECT_EQ(NamesIn(out_.path()), (std::vector<std::string>{"folder.ts", "regular"}));
}

TEST_F(ClipExportOnCard, MarksOutOfOrderOrMissingStartNothing) {
    ClipExport backup;
    const std::string clip = out_.File("clip.ts");
    EXPECT_FALSE(backup.Begin(ClipRequest(clip, File(4), 0, File(3), 1000)));
    EXPECT_FALSE(backup.Begin(ClipRequest(clip, File(3), 5000, File(3), 5000)));
    EXPECT_FALSE(backup.Begin(ClipRequest(clip, File(3), 0, File(4), -1)));  // mark-out cleared
    EXPECT_FALSE(backup.Begin(ClipRequest(clip, out_.File("NONE_0001.ts"), 0, File(4), 100)));
    EXPECT_TRUE(NamesIn(out_.path()).empty());
    EXPECT_TRUE(MarksInOrder({File(3), 9000, File(3), 9001}));
    EXPECT_TRUE(MarksInOrder({File(3), 9000, File(4), 0}));
}

TEST_F(ClipExportOnCard, StoppedExportLeavesAnExistingFileUntouchedAndSuccessReplacesIt) {
    const std::string target = out_.File("keep.ts");
    const Bytes precious = {'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'};
    WriteBytes(target, precious);
    const ExportRequest request = ClipRequest(target, File(1), 0, File(6), Size(6) / 2);
    for (const bool avi : {false, true}) {
        ExportRequest r = request;
        r.outputPath = avi ? out_.File("keep.avi") : target;
        if (avi) {
            WriteBytes(r.outputPath, precious);
        }
        Observer observer;
        std::atomic<ClipExport*> self{nullptr};
        auto backup = std::make_unique<ClipExport>(observer.OnEnd(), observer.Hold(&self));
        self = backup.get();
        ASSERT_TRUE(backup->Begin(r));
        ASSERT_TRUE(observer.WaitHeld());
        backup.reset();  // abandoned in the middle
        ASSERT_EQ(observer.Count(), 1u);
        EXPECT_EQ(observer.Wait()->end, ExportEnd::kStopped);
        EXPECT_TRUE(ReadBytes(r.outputPath) == precious);
    }
    EXPECT_EQ(NamesIn(out_.path()), (std::vector<std::string>{"keep.avi", "keep.ts"}));

    const ExportOutcome outcome = Export(request);
    ASSERT_EQ(outcome.end, ExportEnd::kFinished) << outcome.reason;
    const std::vector<std::string> files(recording_->files.begin(), recording_->files.end());
    ExpectClipOfPieces(target, ExpectedPieces(files, 0, 0, 5, Size(6) / 2), 0);
}

TEST_F(ClipExportOnCard, SecondExportWhileOneRunsReplacesIt) {
    const std::string first = out_.File("first.ts");
    const std::string second = out_.File("second.avi");
    Observer observer;
    std::atomic<ClipExport*> self{nullptr};
    auto backup = std::make_unique<ClipExport>(observer.OnEnd(), observer.Hold(&self));
    self = backup.get();
    ASSERT_TRUE(backup->Begin(ClipRequest(first, File(1), 0, File(6), 1000)));
    ASSERT_TRUE(observer.WaitHeld());
    // As the panel does: the old worker is destroyed, a new one takes over.
    backup.reset();
    EXPECT_EQ(observer.Wait()->end, ExportEnd::kStopped);
    Observer next;
    backup = std::make_unique<ClipExport>(next.OnEnd());
    ASSERT_TRUE(backup->Begin(ClipRequest(second, File(2), 0, File(3), 3 * kBlock)));
    const std::optional<ExportOutcome> outcome = next.Wait();
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->end, ExportEnd::kFinished) << outcome->reason;
    // Begin on a running worker stops it first, too.
    Observer again;
    std::atomic<ClipExport*> againSelf{nullptr};
    ClipExport reused(again.OnEnd(), again.Hold(&againSelf));
    againSelf = &reused;
    ASSERT_TRUE(reused.Begin(ClipRequest(first, File(1), 0, File(6), 1000)));
    ASSERT_TRUE(again.WaitHeld());
    ASSERT_TRUE(reused.Begin(ClipRequest(first, File(4), 0, File(5), 1000)));
    const std::optional<ExportOutcome> replaced = again.Wait(2);
    ASSERT_TRUE(replaced.has_value());
    EXPECT_EQ(again.Wait(1)->end, ExportEnd::kStopped);
    EXPECT_EQ(replaced->end, ExportEnd::kFinished) << replaced->reason;
    EXPECT_EQ(NamesIn(out_.path()), (std::vector<std::string>{"first.ts", "second.avi"}));
}

TEST_F(ClipExportOnCard, FilesThatVanishOrRunOutSaveNothing) {
    // A copy of files 3 to 5; file 4 disappears while the export reads file 3.
    TempDir card;
    for (int n = 3; n <= 5; ++n) {
        fs::copy_file(File(n), card.File(fs::path(File(n)).filename().string()));
    }
    const std::string in = card.File("REC_0003.ts");
    const std::string out = card.File("REC_0005.ts");
    const std::string target = out_.File("vanish.ts");
    WriteBytes(target, {'o', 'l', 'd'});
    Observer observer;
    std::atomic<ClipExport*> self{nullptr};
    ClipExport backup(observer.OnEnd(), observer.Hold(&self));
    self = &backup;
    ASSERT_TRUE(backup.Begin(ClipRequest(target, in, 0, out, 5000)));
    ASSERT_TRUE(observer.WaitHeld());
    fs::remove(card.File("REC_0004.ts"));
    observer.Release();
    std::optional<ExportOutcome> outcome = observer.Wait();
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->end, ExportEnd::kRanOut);
    EXPECT_FALSE(outcome->reason.empty());
    EXPECT_TRUE(ReadBytes(target) == Bytes({'o', 'l', 'd'}));

    // A mark-out in a file that is not on the card.
    const ExportOutcome ranOut =
        Export(ClipRequest(out_.File("none.avi"), File(5), 0, card.File("REC_0009.ts"), 10));
    EXPECT_EQ(ranOut.end, ExportEnd::kRanOut);
    EXPECT_EQ(NamesIn(out_.path()), (std::vector<std::string>{"vanish.ts"}));
}

TEST(ClipExportDamaged, GarbageAndACutLastFileStillGiveWholePackets) {
    TempDir card;
    RecordingOptions options = SmallCard(card, 3, 2);
    options.garbage = true;
    options.truncateLast = true;
    const RecordingResult rec = WriteRecording(options);
    ASSERT_TRUE(rec.ok) << rec.error;
    TempDir out;
    const int64_t lastSize = static_cast<int64_t>(fs::file_size(rec.files[2]));
    for (const std::string name : {"damaged.ts", "damaged.avi"}) {
        Observer observer;
        ClipExport backup(observer.OnEnd());
        ASSERT_TRUE(
            backup.Begin(ClipRequest(out.File(name), rec.files[0], 3000, rec.files[2], lastSize)));
        const std::optional<ExportOutcome> outcome = observer.Wait();
        ASSERT_TRUE(outcome.has_value());
        ASSERT_EQ(outcome->end, ExportEnd::kFinished) << outcome->reason;
    }
    ExpectWholePackets(ReadBytes(out.File("damaged.ts")));
    EXPECT_EQ(ProbeStreams(out.File("damaged.ts")).size(), 3u);
    EXPECT_FALSE(test::PlayClip(out.File("damaged.ts")).empty());
    EXPECT_EQ(ProbeStreams(out.File("damaged.avi")).size(), 2u);
}

}  // namespace
}  // namespace velmaro
