// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// An MP4 clip plays to its end in a real browser engine's <video> element, offline.
#include <gtest/gtest.h>

#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineSettings>

#include "export/clip_export.h"
#include "tests/export/export_support.h"
#include "tools/make_recording/recording_writer.h"

namespace velmaro {
namespace {

constexpr int kFiles = 2;
constexpr int kSeconds = 2;
constexpr int kPatienceMs = 60000;
constexpr int kStepMs = 20;

// The page reports in its title: "ended TIME DURATION" or "error WHAT".
constexpr char kPlayer[] = R"(<video id="v" muted src="clip.mp4"></video><script>
const v = document.getElementById('v');
v.playbackRate = 4;
v.onended = () => { document.title = 'ended ' + v.currentTime + ' ' + v.duration; };
v.onerror = () => { document.title = 'error ' + (v.error ? v.error.code : '?'); };
v.play().catch(e => { document.title = 'error ' + e; });
</script>)";

TEST(Mp4InBrowser, AClipAcrossRecordingsPlaysToItsEndInAVideoElement) {
    test::TempDir card("velmaro-mp4-browser-card");
    test::TempDir out("velmaro-mp4-browser-out");
    const RecordingResult r = WriteRecording(test::SmallCard(card, kFiles, kSeconds));
    ASSERT_TRUE(r.ok) << r.error;
    const test::ExportRun run = test::RunExport(
        test::ClipRequest(out.File("clip.mp4"), r.files.front(), 0, r.files.back(),
                          static_cast<int64_t>(std::filesystem::file_size(r.files.back())), false));
    ASSERT_EQ(run.outcome.end, ExportEnd::kFinished) << run.outcome.reason;

    QWebEnginePage page;
    page.settings()->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    page.setHtml(QString::fromUtf8(kPlayer),
                 QUrl::fromLocalFile(QString::fromStdString(out.path().string()) + '/'));
    const auto reported = [&] {
        return page.title().startsWith(QStringLiteral("ended")) ||
               page.title().startsWith(QStringLiteral("error"));
    };
    for (int waited = 0; !reported() && waited < kPatienceMs; waited += kStepMs) {
        QTest::qWait(kStepMs);
    }
    const QStringList report = page.title().split(' ');
    ASSERT_EQ(report.size(), 3) << page.title().toStdString();
    EXPECT_EQ(report[0], QStringLiteral("ended"));
    EXPECT_NEAR(report[1].toDouble(), kFiles * kSeconds, 0.1);
    EXPECT_NEAR(report[2].toDouble(), kFiles * kSeconds, 0.1);
}

}  // namespace
}  // namespace velmaro
