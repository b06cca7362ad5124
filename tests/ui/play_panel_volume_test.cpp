// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The play panel's volume slider in the player window: it sets the player's own volume on the
// playing channel and keeps it in Config.ini, leaving the desktop's volume alone.
#include <gtest/gtest.h>

#include <QTest>
#include <memory>

#include "app/app_settings.h"
#include "app/language_table.h"
#include "controls/skin_button.h"
#include "controls/skin_slider_button.h"
#include "platform/ini_file.h"
#include "platform/mixer.h"
#include "playback/playback_channel.h"
#include "tests/ui/main_window_support.h"
#include "ui/main/app_shared.h"
#include "ui/main/main_window.h"
#include "ui/panel/play_panel.h"

namespace velmaro {
namespace {

using P = PlayPanel;

class PanelVolume : public ::testing::Test {
  protected:
    void SetUp() override {
        test::QuietSound();
        ASSERT_TRUE(test::Card().result.ok) << test::Card().result.error;
        saved = Settings();
        Settings().configFile = dir.path() / "Config.ini";
    }
    void TearDown() override {
        window.reset();
        Settings() = saved;
    }
    void OpenWindow() {
        window = std::make_unique<MainWindow>(shared, kUiMode1280x800);
        window->show();
    }
    PlayPanel& panel() { return *window->PlayCtrl(); }
    PlaybackChannel* OpenRecording() {
        panel().OpenRecording(QString::fromStdString(test::Card().result.files[0]));
        EXPECT_TRUE(test::WaitGui([&] { return shared.session.Channel() != nullptr; }));
        return shared.session.Channel();
    }
    void ReleaseVolume(int position) {
        SkinSliderButton* slider = panel().Slider(P::kIdVolume);
        slider->SetPos(position);
        emit slider->Notify(kMsgThumbReleased, slider->Identifier(), position);
    }
    int StoredVolume() const {
        return ReadProfileInt(Settings().configFile, "Config", "Volume", -1);
    }

    test::TempDir dir;
    AppSettings saved;
    AppShared shared;
    std::unique_ptr<MainWindow> window;
};

// Left is loudest, right silent, as the slider always was; each release is heard on the channel
// at once, kept for the next start and leaves mute as it was.
TEST_F(PanelVolume, SliderReleaseSetsTheChannelsVolumeAndKeepsIt) {
    OpenWindow();
    ASSERT_FALSE(panel().VolumeDrivesMixer());
    PlaybackChannel* channel = OpenRecording();
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(channel->Volume().Percent(), 100) << "no stored volume plays at full";
    EXPECT_EQ(panel().Slider(P::kIdVolume)->GetPos(), 0);

    const std::pair<int, int> cases[] = {{27, 0}, {14, 48}, {0, 100}, {-5, 100}, {40, 0}};
    for (const auto& [position, percent] : cases) {
        SCOPED_TRACE(position);
        ReleaseVolume(position);
        EXPECT_EQ(channel->Volume().Percent(), percent);
        EXPECT_EQ(Settings().volume, percent);
        EXPECT_EQ(StoredVolume(), percent);
    }

    QTest::mouseClick(panel().Button(P::kIdMute), Qt::LeftButton);
    ReleaseVolume(5);
    EXPECT_EQ(channel->state.soundAmplification.load(), 0.0) << "a volume change does not unmute";
    EXPECT_EQ(channel->Volume().Percent(), 81);
}

// The stored volume places the slider at start and a recording opened later plays at it, also
// when the master volume was asked for but there is no mixer to drive.
TEST_F(PanelVolume, StoredVolumeStartsTheSliderAndTheNextRecording) {
    for (const bool askSystem : {false, true}) {
        SCOPED_TRACE(askSystem);
        Settings().volume = 50;
        Settings().volumeControlsSystem = askSystem;
        OpenWindow();
        const bool mixer = askSystem && Mixer().IsValid();
        EXPECT_EQ(panel().VolumeDrivesMixer(), mixer);
        PlaybackChannel* channel = OpenRecording();
        ASSERT_NE(channel, nullptr);
        if (mixer) {
            EXPECT_EQ(channel->Volume().Percent(), 100) << "the mixer sets the loudness";
        } else {
            EXPECT_EQ(panel().Slider(P::kIdVolume)->GetPos(), 13);
            EXPECT_EQ(channel->Volume().Percent(), 50);
        }
        window.reset();
    }
}

}  // namespace
}  // namespace velmaro
