// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A recording that is still being written (a camera or a copy in progress) grows while it is
// read: the reader reads on past the size it saw at opening, and the position it reports stays
// within the file, 0 to 1000 per mille.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "reader_harness.h"
#include "tests/test_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;

TEST(GrowingRecording, PositionStaysWithinTheFileWhileItGrows) {
    test::TempDir dir;
    RecordingOptions o;
    o.outRoot = dir.path();
    o.files = 1;
    o.secondsPerFile = 3;
    o.width = 320;
    o.height = 240;
    const RecordingResult rec = WriteRecording(o);
    ASSERT_TRUE(rec.ok) << rec.error;
    const std::vector<uint8_t> whole = test::ReadBytes(rec.files[0]);
    const size_t half = whole.size() / 2 / 188 * 188;
    const std::string growing = dir.File("growing.ts");
    test::WriteBytes(growing, std::vector<uint8_t>(whole.begin(), whole.begin() + half));

    test::ReaderHarness h;
    h.reader.SetPath(growing);
    ASSERT_TRUE(h.reader.StartWithoutThread());
    ASSERT_TRUE(h.reader.PassWithoutThread());
    {
        std::ofstream more(growing, std::ios::binary | std::ios::app);
        more.write(reinterpret_cast<const char*>(whole.data() + half),
                   static_cast<std::streamsize>(whole.size() - half));
    }
    for (int pass = 0; pass < 100000 && h.reader.PassWithoutThread(); ++pass) {
    }
    EXPECT_GT(h.reader.Position(), static_cast<int64_t>(half)) << "read on past the first size";
    int64_t last = -1;
    for (const RecordedMessage& m : h.panel.Messages()) {
        if (m.msg == kMsgPosition) {
            EXPECT_GE(m.wParam, 0);
            EXPECT_LE(m.wParam, 1000);
            last = m.wParam;
        }
    }
    EXPECT_EQ(last, 1000) << "at the end of what was read";
}

}  // namespace
}  // namespace velmaro
