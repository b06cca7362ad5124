// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The preferences dialog as a user meets it: what it offers for the settings and languages at
// hand, the screen checks of the UI size, what OK and Cancel change, and the player window
// whose "Config" button runs it against a playing recording.
#include "ui/dialogs/preferences_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/app_settings.h"
#include "app/language_table.h"
#include "app/preferences.h"
#include "controls/skin_button.h"
#include "platform/ini_file.h"
#include "playback/playback_channel.h"
#include "tests/ui/main_window_support.h"
#include "ui/main/app_shared.h"
#include "ui/main/main_window.h"
#include "ui/panel/dashboard.h"
#include "ui/panel/play_panel.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using D = PreferencesDialog;

const fs::path kShippedLanguages = fs::path(VELMARO_BIN_DIR) / "Language";

// A user's choice in a list, as the mouse or keyboard makes it.
void Choose(QComboBox* list, int index) {
    list->setCurrentIndex(index);
    emit list->activated(index);
}

QStringList Entries(const QComboBox* list) {
    QStringList entries;
    for (int i = 0; i < list->count(); ++i) {
        entries << list->itemText(i);
    }
    return entries;
}

// Settings whose Config.ini lies in a temp folder, a language table over the shipped files,
// and a dialog on them whose messages the test answers.
class ConfigDialog : public ::testing::Test {
  protected:
    ConfigDialog() {
        settings.configFile = dir.path() / "Config.ini";
        settings.snapshotPath = "/srv/shots/";
        settings.uiMode = settings.pendingUiMode = kUiMode960x600;
        settings.soundAmplification = 2;
    }
    void Open(ScreenSize screen = {1920, 1080}) {
        dialog = std::make_unique<PreferencesDialog>(settings, languages, "1.2.3.4");
        dialog->screenSize = [screen] { return screen; };
        dialog->showMessage = [this](const QString& text) { messages << text; };
        dialog->show();
    }
    void UseShippedLanguages(std::string_view wanted) {
        settings.activeLanguage = settings.pendingLanguage =
            languages.Scan(kShippedLanguages, wanted, kEnglishLanguage);
    }
    QComboBox* List(int id) const { return dialog->List(id); }
    QString Label(int id) const { return dialog->findChild<QLabel*>(QString::number(id))->text(); }

    test::TempDir dir;
    AppSettings settings;
    LanguageTable languages;
    std::unique_ptr<PreferencesDialog> dialog;
    QStringList messages;
};

TEST_F(ConfigDialog, ShowsTheCurrentSettingsAndOnlyEnglishWithoutLanguageFiles) {
    settings.displayMode = 1;
    settings.unitOfSpeed = 2;
    Open();
    EXPECT_EQ(dialog->windowTitle(), "Preferences");
    EXPECT_EQ(Label(D::kIdVersion), "1.2.3.4");
    EXPECT_EQ(dialog->SnapshotEdit()->text(), "/srv/shots/");
    EXPECT_EQ(Entries(List(D::kIdLanguage)), QStringList{"English (English)"});
    EXPECT_EQ(List(D::kIdLanguage)->currentData().toInt(), kEnglishLanguage);
    EXPECT_EQ(Entries(List(D::kIdUiMode)), QStringList({"960*600", "1280*800", "1920*1080"}));
    EXPECT_EQ(List(D::kIdUiMode)->currentIndex(), 0);
    EXPECT_EQ(Entries(List(D::kIdDisplayMode)), QStringList({"YV12", "RGB"}));
    EXPECT_EQ(List(D::kIdDisplayMode)->currentIndex(), 1);
    EXPECT_EQ(Entries(List(D::kIdUnitOfSpeed)), QStringList({"Km/h", "Mile/h", "Knot"}));
    EXPECT_EQ(List(D::kIdUnitOfSpeed)->currentIndex(), 2);
    ASSERT_EQ(List(D::kIdAmplification)->count(), 10);
    EXPECT_EQ(List(D::kIdAmplification)->itemText(0), "100 %");
    EXPECT_EQ(List(D::kIdAmplification)->itemText(9), "1000 %");
    EXPECT_EQ(List(D::kIdAmplification)->currentIndex(), 1);
    EXPECT_EQ(Label(D::kIdAmplificationLabel), "Sound Amplification");
}

TEST_F(ConfigDialog, LanguagesWithFilesAreOfferedInTableOrderAndLabelTheDialog) {
    UseShippedLanguages("de_DE");
    ASSERT_EQ(settings.activeLanguage, FindLanguage("de_DE"));
    Open();
    const QComboBox* list = List(D::kIdLanguage);
    ASSERT_GT(list->count(), 2);
    int previousRow = -1;
    for (int i = 0; i < list->count(); ++i) {
        const int row = list->itemData(i).toInt();
        EXPECT_GT(row, previousRow) << "table order";
        EXPECT_EQ(languages[static_cast<size_t>(row)].present, 1);
        EXPECT_EQ(list->itemText(i).toStdString(), languages[static_cast<size_t>(row)].displayName);
        previousRow = row;
    }
    EXPECT_EQ(list->currentText(), "German (Germany)");
    EXPECT_EQ(dialog->windowTitle().toStdString(),
              languages.Lookup(settings.activeLanguage, "Config"));
    EXPECT_EQ(Label(D::kIdAmplificationLabel), "Tonverstärkung");
    EXPECT_EQ(Entries(List(D::kIdUnitOfSpeed)), QStringList({"Km/h", "Mile/h", "Knot"}))
        << "entries are not translated";
}

TEST_F(ConfigDialog, SizesTheScreenCannotHoldAreRefusedWithTheReason) {
    Open({1366, 768});
    Choose(List(D::kIdUiMode), 1);
    EXPECT_EQ(messages, QStringList{"Screen Resolution is Less than 1280*800"});
    EXPECT_EQ(List(D::kIdUiMode)->currentText(), "960*600");
    QTest::keyClick(List(D::kIdUiMode), Qt::Key_Down);  // the keyboard checks just the same
    EXPECT_EQ(messages.size(), 2);
    EXPECT_EQ(List(D::kIdUiMode)->currentText(), "960*600");

    settings.uiMode = settings.pendingUiMode = kUiMode1280x800;
    messages.clear();
    Open({1600, 900});
    Choose(List(D::kIdUiMode), 2);
    EXPECT_EQ(messages, QStringList{"Screen Resolution is Less than 1920*1080"});
    EXPECT_EQ(List(D::kIdUiMode)->currentText(), "1280*800");
    Choose(List(D::kIdUiMode), 0);
    EXPECT_EQ(messages.size(), 1) << "a smaller size is always possible";

    QTest::mouseClick(dialog->Button(D::kIdOk), Qt::LeftButton);
    EXPECT_EQ(messages.last(), "UI has been modified, please restart the program");
    EXPECT_EQ(settings.pendingUiMode, kUiMode960x600);
    EXPECT_EQ(settings.uiMode, kUiMode1280x800);
}

// A folder relative to nothing keeps the dialog open with the reason; the old folder stays.
TEST_F(ConfigDialog, ARelativeSnapshotFolderIsRefusedWithAReason) {
    Open();
    dialog->SnapshotEdit()->setText("shots");
    QTest::mouseClick(dialog->Button(D::kIdOk), Qt::LeftButton);
    EXPECT_EQ(messages, QStringList{QString::fromUtf8(kRelativeFolderNotice.data())});
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(settings.snapshotPath, "/srv/shots/");
}

TEST_F(ConfigDialog, OkStoresTheChoicesAndTheLanguageWithoutARestartNoticeForTheSameSize) {
    UseShippedLanguages("en_US");
    Open();
    dialog->SnapshotEdit()->setText("/home/ann/shots");
    List(D::kIdAmplification)->setCurrentIndex(9);
    List(D::kIdDisplayMode)->setCurrentIndex(1);
    List(D::kIdUnitOfSpeed)->setCurrentIndex(1);
    List(D::kIdLanguage)->setCurrentIndex(List(D::kIdLanguage)->findText("French (France)"));
    QTest::mouseClick(dialog->Button(D::kIdOk), Qt::LeftButton);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(settings.soundAmplification, 10);
    EXPECT_EQ(settings.displayMode, 1);
    EXPECT_EQ(settings.unitOfSpeed, 1);
    EXPECT_EQ(settings.snapshotPath, "/home/ann/shots/");
    EXPECT_EQ(settings.pendingUiMode, kUiMode960x600);
    EXPECT_EQ(settings.activeLanguage, FindLanguage("fr_FR"));
    EXPECT_EQ(test::ReadText(settings.configFile), "[Config]\nLanguage File=fr_FR\n")
        << "only the language is written before the player exits";
}

TEST_F(ConfigDialog, CancelAndACancelledChooserChangeNothing) {
    Open();
    QString offered;
    QString answer = "/media/ann/photos/";
    dialog->chooseFolder = [&](const QString& current) {
        offered = current;
        return answer;
    };
    QTest::mouseClick(dialog->Button(D::kIdBrowse), Qt::LeftButton);
    EXPECT_EQ(offered, "/srv/shots/");
    EXPECT_EQ(dialog->SnapshotEdit()->text(), "/media/ann/photos");
    answer.clear();
    QTest::mouseClick(dialog->Button(D::kIdBrowse), Qt::LeftButton);
    EXPECT_EQ(dialog->SnapshotEdit()->text(), "/media/ann/photos");

    List(D::kIdAmplification)->setCurrentIndex(5);
    Choose(List(D::kIdUiMode), 2);
    QTest::mouseClick(dialog->Button(D::kIdCancel), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(settings.snapshotPath, "/srv/shots/");
    EXPECT_EQ(settings.soundAmplification, 2);
    EXPECT_EQ(settings.pendingUiMode, kUiMode960x600);
    EXPECT_FALSE(fs::exists(settings.configFile));
}

// The message boxes of the real dialog, answered as a user would.
TEST_F(ConfigDialog, RestartNoticeIsAModalBoxTheUserConfirms) {
    dialog = std::make_unique<PreferencesDialog>(settings, languages, "1.2.3.4");
    dialog->screenSize = [] { return ScreenSize{1920, 1080}; };
    dialog->show();
    QString shown;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
    answer.start(20);
    Choose(List(D::kIdUiMode), 1);
    dialog->accept();
    EXPECT_EQ(shown, "UI has been modified, please restart the program");
    EXPECT_EQ(settings.pendingUiMode, kUiMode1280x800);
}

// Every label and entry fits its control in English and in the longest translations.
TEST_F(ConfigDialog, NothingIsCutOffInAnyShippedLanguage) {
    UseShippedLanguages("en_US");
    const char* shots = std::getenv("VELMARO_SCREENSHOT_DIR");
    for (const std::string_view stem : {"en_US", "de_DE", "ru_RU", "fr_FR", "zh_CN"}) {
        SCOPED_TRACE(stem);
        settings.activeLanguage = settings.pendingLanguage = FindLanguage(stem);
        Open();
        QTest::qWait(20);
        for (const QLabel* label : dialog->findChildren<QLabel*>()) {
            EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
        }
        for (const QPushButton* button : dialog->findChildren<QPushButton*>()) {
            EXPECT_GE(button->width(), button->sizeHint().width()) << button->text().toStdString();
        }
        for (const QComboBox* list : dialog->findChildren<QComboBox*>()) {
            EXPECT_GE(list->width(), list->sizeHint().width()) << list->objectName().toStdString();
        }
        if (shots != nullptr) {
            dialog->grab().save(QString("%1/config-%2.png").arg(shots, QString(stem.data())));
        }
    }
}

// --- In the player window ----------------------------------------------------------------------

class ConfigFromPlayer : public ::testing::Test {
  protected:
    void SetUp() override {
        test::QuietSound();
        ASSERT_TRUE(test::Card().result.ok) << test::Card().result.error;
        saved = Settings();
        savedLanguages = Languages();
        Settings().configFile = dir.path() / "Config.ini";
        Settings().activeLanguage = Settings().pendingLanguage =
            Languages().Scan(kShippedLanguages, "en_US", kEnglishLanguage);
        window = std::make_unique<MainWindow>(shared, kUiMode1280x800);
        window->show();
    }
    void TearDown() override {
        window.reset();
        Settings() = saved;
        Languages() = savedLanguages;
    }
    PlayPanel& panel() { return *window->PlayCtrl(); }

    test::TempDir dir;
    AppSettings saved;
    LanguageTable savedLanguages;
    AppShared shared;
    std::unique_ptr<MainWindow> window;
};

TEST_F(ConfigFromPlayer, ConfigButtonOpensTheDialogAndOkReachesThePlayingRecording) {
    panel().OpenRecording(QString::fromStdString(test::Card().result.files[0]));
    ASSERT_TRUE(test::WaitGui([&] { return shared.session.Channel() != nullptr; }));
    const auto& amplification = shared.session.Channel()->state.soundAmplification;

    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<PreferencesDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        seen = true;
        dialog->List(D::kIdAmplification)->setCurrentIndex(5);
        dialog->List(D::kIdUnitOfSpeed)->setCurrentIndex(kSpeedKnot);
        QComboBox* language = dialog->List(D::kIdLanguage);
        language->setCurrentIndex(language->findData(FindLanguage("de_DE")));
        QTest::mouseClick(dialog->Button(D::kIdOk), Qt::LeftButton);
    });
    QTest::mouseClick(panel().Button(PlayPanel::kIdConfig), Qt::LeftButton);
    ASSERT_TRUE(seen);
    EXPECT_EQ(amplification.load(), 6.0) << "heard at once";
    EXPECT_EQ(panel().GetDashboard()->SpeedUnitShown(), kSpeedKnot);
    const QString tip = panel().Button(PlayPanel::kIdConfig)->toolTip();
    EXPECT_TRUE(
        tip.startsWith(QString::fromStdString(Languages().Lookup(FindLanguage("de_DE"), "Config"))))
        << tip.toStdString();
    EXPECT_FALSE(tip.startsWith("Config")) << "the tooltips follow the new language";
    EXPECT_EQ(ReadProfileString(Settings().configFile, "Config", "Language File", ""), "de_DE");

    // Muted, a new amplification waits for the sound to come back.
    QTest::mouseClick(panel().Button(PlayPanel::kIdMute), Qt::LeftButton);
    Settings().soundAmplification = 4;
    panel().ApplySoundAmplification();
    EXPECT_EQ(amplification.load(), 0.0);
    QTest::mouseClick(panel().Button(PlayPanel::kIdMute), Qt::LeftButton);
    EXPECT_EQ(amplification.load(), 4.0);
}

}  // namespace
}  // namespace velmaro
