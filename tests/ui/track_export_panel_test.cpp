// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The panel's track export and the subtitle option of its clip export, on the shared small card:
// the file name chosen decides the format, the work runs off the GUI thread and ends in a
// message, and the sidecar follows the setting.
#include <gtest/gtest.h>

#include <QDate>
#include <QStringList>
#include <QTest>
#include <filesystem>
#include <memory>
#include <string>

#include "app/app_settings.h"
#include "controls/skin_button.h"
#include "tests/ui/main_window_support.h"
#include "ui/main/app_shared.h"
#include "ui/main/main_window.h"
#include "ui/panel/play_panel.h"
#include "ui/video/video_widget.h"
#include "ui/video/video_window.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using P = PlayPanel;
using test::Card;
using test::WaitGui;

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

const QDate kCardDay(2026, 6, 12);

class TrackExportPanel : public ::testing::Test {
  protected:
    void SetUp() override {
        test::QuietSound();
        ASSERT_TRUE(Card().result.ok) << Card().result.error;
        window = std::make_unique<MainWindow>(shared, 1);
        window->show();
        panel().chooseTrackName = [this](const QString& suggested) {
            suggestions.push_back(suggested);
            return QString::fromStdString(out.File(nextName));
        };
        panel().OpenRecording(QString::fromStdString(Card().result.files[0]));
        ASSERT_TRUE(WaitGui([&] {
            return shared.session.Channel() != nullptr &&
                   window->Video()->VideoSurface()->PicturesPresented() > 3 &&
                   window->SelectedDate() == kCardDay;  // the list has come, not just today
        }));
    }
    void TearDown() override {
        window.reset();
        Settings().subtitleOnExport = 1;
    }

    PlayPanel& panel() { return *window->PlayCtrl(); }
    void Click(int id) { QTest::mouseClick(panel().Button(id), Qt::LeftButton); }
    std::string Exported(P::TrackOf what, const std::string& name) {
        nextName = name;
        panel().ExportTrack(what);
        EXPECT_TRUE(WaitGui([&] {
            return panel().LastMessage().contains(QString::fromStdString(name));
        })) << panel().LastMessage().toStdString();
        return test::ReadText(out.File(name));
    }

    test::TempDir out;
    AppShared shared;
    std::unique_ptr<MainWindow> window;
    std::string nextName;
    QStringList suggestions;
};

TEST_F(TrackExportPanel, TheChosenSuffixDecidesTheFormatOfTheDayOrTheRecording) {
    const std::string gpx = Exported(P::TrackOf::kDay, "day.gpx");
    EXPECT_EQ(Count(gpx, "<trkpt "), 9u);  // three recordings of 3 s
    EXPECT_EQ(suggestions.back(), QStringLiteral("2026-06-12.gpx"));
    const std::string csv = Exported(P::TrackOf::kRecording, "rec.csv");
    EXPECT_EQ(Count(csv, "\n"), 4u);
    EXPECT_EQ(suggestions.back(), QStringLiteral("REC_0001.gpx"));
    EXPECT_EQ(Count(Exported(P::TrackOf::kRecording, "rec.kml"), "<TimeStamp>"), 3u);
}

TEST_F(TrackExportPanel, WithoutMarksTheStretchIsNotOffered) {
    panel().ExportTrack(P::TrackOf::kStretch);
    EXPECT_TRUE(suggestions.isEmpty());
}

TEST_F(TrackExportPanel, TheClipGetsASubtitleSidecarOnlyWhileTheSettingIsOn) {
    panel().chooseExportName = [this](const QString&) {
        return QString::fromStdString(out.File(nextName));
    };
    Click(P::kIdMarkIn);
    QTest::qWait(2000);
    Click(P::kIdMarkOut);
    for (const int on : {0, 1}) {
        Settings().subtitleOnExport = on;
        nextName = on ? "on.ts" : "off.ts";
        Click(P::kIdBackup);
        ASSERT_TRUE(WaitGui([&] { return !panel().BackupRunning(); }));
        EXPECT_TRUE(fs::exists(out.File(nextName)));
        EXPECT_EQ(fs::exists(out.File(on ? "on.srt" : "off.srt")), on == 1);
    }
}

}  // namespace
}  // namespace velmaro
