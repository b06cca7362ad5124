// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The card setup as the player's user meets it: the panel's "SD Card Setup" button opens the
// dialog modally over the main window, and clearing the card being played stops the playback.
// The real message boxes are answered here, as a user would, from a timer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "controls/skin_button.h"
#include "platform/drives.h"
#include "playback/playback_channel.h"
#include "tests/ui/main_window_support.h"
#include "ui/dialogs/card_setup_dialog.h"
#include "ui/main/app_shared.h"
#include "ui/main/main_window.h"
#include "ui/panel/play_panel.h"
#include "ui/video/video_widget.h"
#include "ui/video/video_window.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::Card;
using test::WaitGui;

// Answers what the modal loop shows: asks the dialog to clear once it is filled, says Yes and
// OK to the boxes, and closes the dialog when the clear has been reported.
class ClearingUser {
  public:
    ClearingUser() {
        timer_.setInterval(50);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
        timer_.start();
    }
    QStringList boxes;
    bool sawDialog = false;

  private:
    void Look() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes << box->text();
            QAbstractButton* yes = box->button(QMessageBox::Yes);
            (yes != nullptr ? yes : box->button(QMessageBox::Ok))->click();
            return;
        }
        auto* dialog = qobject_cast<CardSetupDialog*>(modal);
        if (dialog == nullptr || !dialog->IsFilled() || dialog->IsBusy()) {
            return;
        }
        sawDialog = true;
        if (!asked_) {
            asked_ = true;
            QMetaObject::invokeMethod(
                dialog, [dialog] { dialog->Clear(); }, Qt::QueuedConnection);
        } else if (boxes.contains("Clear Success")) {
            dialog->reject();
        }
    }

    QTimer timer_;
    bool asked_ = false;
};

TEST(CardSetupFromPanel, ClearingThePlayingCardStopsPlaybackAndEmptiesTheCard) {
    test::QuietSound();
    ASSERT_TRUE(Card().result.ok) << Card().result.error;
    test::TempDir card;
    const fs::path media = card.path() / "DCIM" / "100MEDIA";
    fs::create_directories(media);
    fs::copy_file(Card().result.files[0], media / "FILE0001.TS");
    setenv(kDriveRootsVariable, fs::canonical(card.path()).c_str(), 1);
    AppShared shared;
    MainWindow window(shared, 1);
    window.show();
    PlayPanel& panel = *window.PlayCtrl();
    panel.OpenRecording(QString::fromStdString((fs::canonical(media) / "FILE0001.TS").string()));
    ASSERT_TRUE(WaitGui([&] {
        return shared.session.Channel() != nullptr &&
               window.Video()->VideoSurface()->PicturesPresented() > 2;
    }));

    ClearingUser user;
    QTest::mouseClick(panel.Button(PlayPanel::kIdCardSetup), Qt::LeftButton);

    EXPECT_TRUE(user.sawDialog);
    ASSERT_EQ(user.boxes.size(), 2);
    EXPECT_TRUE(user.boxes[0].startsWith("Erase all 1 files")) << user.boxes[0].toStdString();
    EXPECT_EQ(user.boxes[1], "Clear Success");
    EXPECT_EQ(shared.session.Channel(), nullptr);
    EXPECT_TRUE(fs::is_empty(card.path()));
    unsetenv(kDriveRootsVariable);
}

}  // namespace
}  // namespace velmaro
