// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/card_setup_dialog.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "app/app_settings.h"
#include "app/language_table.h"
#include "controls/skin_button.h"
#include "controls/skin_label.h"
#include "platform/card_formatter.h"
#include "platform/drives.h"
#include "tests/test_support.h"
#include "tests/ui/main_window_support.h"
#include "tests/ui/udisks2_stand_in.h"
#include "ui/dialogs/udisks2_formatter.h"

namespace velmaro {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

QString Tr(std::string_view key) {
    return QString::fromStdString(GetLanguageString(key));
}

FormatOutcome Outcome(FormatStatus status, std::string detail = {}) {
    FormatOutcome outcome;
    outcome.status = status;
    outcome.detail = std::move(detail);
    return outcome;
}

// The format service's double: remembers what it was asked to format.
class RecordingFormatter : public CardFormatter {
  public:
    FormatOutcome Format(const std::string& mountRoot) override {
        roots.push_back(mountRoot);
        return answer;
    }
    std::vector<std::string> roots;
    FormatOutcome answer = Outcome(FormatStatus::kOk);
};

// Two cards given as the drive roots, a dialog on them whose message boxes are answered here,
// and a recording "playing" from the first card, which makes it the card chosen.
class CardSetupDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* home = std::getenv("HOME")) {
            home_ = home;
        }
        card1_ = Canonical(first_);
        card2_ = Canonical(second_);
        MakeCard(card1_);
        MakeCard(card2_);
        playing_ = card1_ + "/DCIM/100MEDIA/A.TS";
        SetRoots({card1_, card2_});
    }
    void TearDown() override {
        unsetenv(kDriveRootsVariable);
        if (!home_.empty()) {
            setenv("HOME", home_.c_str(), 1);
        }
    }

    // The folders a camera makes on its card.
    static void MakeCard(const fs::path& root) { fs::create_directories(root / "DCIM/100MEDIA"); }
    static std::string Canonical(const TempDir& dir) { return fs::canonical(dir.path()).string(); }
    static void SetRoots(const std::vector<std::string>& roots) {
        std::string list;
        for (const std::string& root : roots) {
            list += (list.empty() ? "" : ":") + root;
        }
        setenv(kDriveRootsVariable, list.c_str(), 1);
    }

    std::unique_ptr<CardSetupDialog> Open(bool waitForFill = true) {
        CardSetupDialog::PlaybackHooks hooks;
        hooks.playingFile = [this] { return playing_; };
        hooks.stopPlayback = [this] {
            ++stops_;
            stoppedWithCardFull_ = !fs::is_empty(card1_);
            playing_.clear();
        };
        auto dialog = std::make_unique<CardSetupDialog>(nullptr, formatter_, std::move(hooks));
        dialog->showMessage = [this](const QString& text) { messages_ << text; };
        dialog->confirm = [this](const QString& question) {
            questions_ << question;
            return answer_;
        };
        dialog->show();
        if (waitForFill) {
            EXPECT_TRUE(test::WaitGui([&] { return dialog->IsFilled(); }));
        }
        return dialog;
    }

    // A settings file as the camera leaves it (marker 0xFC), with non-default values.
    static CameraSettings PutCameraFile(const std::string& root, unsigned language) {
        CameraSettings s = DefaultCameraSettings(std::chrono::system_clock::now());
        s.language = language;
        s.timeZone = 3;
        s.recGSensorSensitivity = 4;
        s.capPeriod = 2;
        s.year = 2031;
        s.month = 7;
        s.day = 9;
        s.hour = 23;
        s.minute = 59;
        const CameraSettingsBytes bytes = PackCameraSettings(s, kCameraMarkerAccepted);
        test::WriteBytes(CameraSettingsPath(root), {bytes.begin(), bytes.end()});
        return s;
    }

    static bool SameOptions(const CameraSettings& a, const CameraSettings& b) {
        return std::all_of(CameraOptions().begin(), CameraOptions().end(),
                           [&](const CameraOption& o) { return a.*o.field == b.*o.field; });
    }

    std::string home_;
    TempDir first_;
    TempDir second_;
    std::string card1_;
    std::string card2_;
    std::shared_ptr<RecordingFormatter> formatter_ = std::make_shared<RecordingFormatter>();
    QStringList messages_;
    QStringList questions_;
    bool answer_ = true;
    std::string playing_;
    int stops_ = 0;
    bool stoppedWithCardFull_ = false;
};

TEST_F(CardSetupDialogTest, SetBeforeTheListsAreFilledSaysNoCardAndWritesNothing) {
    auto dialog = Open(false);
    dialog->Set();
    EXPECT_EQ(messages_, QStringList{"No camera card found"});
    EXPECT_FALSE(fs::exists(CameraSettingsPath(card1_)));
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(CardSetupDialogTest, FillsEveryListInOrderWithItsDefaultAndTheFirstCardsSettings) {
    const CameraSettings onCard = PutCameraFile(card1_, 5);
    PutCameraFile(card2_, 7);
    auto dialog = Open();

    ASSERT_EQ(dialog->DriveList()->count(), 2);
    EXPECT_EQ(dialog->DriveList()->currentData().toString().toStdString(), card1_);
    EXPECT_EQ(dialog->Record(), onCard);
    for (const CameraOption& option : CameraOptions()) {
        QComboBox* list = dialog->OptionList(option.name);
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->count(), static_cast<int>(option.texts.size()));
        EXPECT_EQ(list->itemText(0).toStdString(), option.texts.front());
        EXPECT_EQ(list->currentIndex(), static_cast<int>(onCard.*option.field)) << option.name;
    }
    EXPECT_EQ(dialog->Picker()->dateTime(), QDateTime(QDate(2031, 7, 9), QTime(23, 59)));
    EXPECT_EQ(dialog->Picker()->displayFormat(), "yyyy/MM/dd HH:mm");
    EXPECT_FALSE(dialog->Picker()->isEnabled());

    // Choosing the second card shows its file.
    dialog->DriveList()->setCurrentIndex(1);
    EXPECT_EQ(dialog->Record().language, 7u);
}

// A USB stick of photos sorts before the card; a removable boot partition looks like a card.
TEST_F(CardSetupDialogTest, OnlyCameraCardsAreOfferedAndThePlayedOneIsChosen) {
    TempDir stick;
    TempDir boot;
    test::WriteText(stick.path() / "DCIM/100CANON/IMG_0001.JPG", "photo");
    MakeCard(boot.path());
    test::WriteText(boot.path() / "vmlinuz-6.1.0", "kernel");
    const std::string stickRoot = Canonical(stick);
    SetRoots({stickRoot, Canonical(boot), card1_, card2_});
    playing_ = card2_ + "/DCIM/100MEDIA/A.TS";
    auto dialog = Open();
    ASSERT_EQ(dialog->DriveList()->count(), 2);
    EXPECT_EQ(dialog->DriveList()->itemData(0).toString().toStdString(), card1_);
    EXPECT_EQ(dialog->DriveList()->currentData().toString().toStdString(), card2_);

    // Among several cards with none playing, nothing is erased until the user chooses.
    playing_.clear();
    auto unchosen = Open();
    EXPECT_EQ(unchosen->DriveList()->currentIndex(), -1);
    unchosen->Clear();
    unchosen->Format();
    EXPECT_TRUE(questions_.isEmpty());
    EXPECT_EQ(messages_, QStringList({"Choose the camera card", "Choose the camera card"}));
    EXPECT_TRUE(formatter_->roots.empty());
    EXPECT_TRUE(fs::exists(stick.path() / "DCIM/100CANON/IMG_0001.JPG"));
}

TEST_F(CardSetupDialogTest, WithoutACardTheListsShowTheDefaultsAndSayNoCard) {
    SetRoots({});
    auto dialog = Open();
    EXPECT_EQ(messages_, QStringList{"No camera card found"});
    EXPECT_TRUE(
        SameOptions(dialog->Record(), DefaultCameraSettings(std::chrono::system_clock::now())));
    EXPECT_EQ(dialog->OptionList("timeZone")->currentText(), "8");
}

TEST_F(CardSetupDialogTest, SetWritesEveryFieldAndAReopenedDialogShowsTheDefaults) {
    PutCameraFile(card1_, 5);
    auto dialog = Open();
    dialog->OptionList("speedUnit")->setCurrentIndex(2);
    dialog->OptionList("effect")->setCurrentIndex(1);
    dialog->SetTimeBox()->click();
    dialog->Picker()->setDateTime(QDateTime(QDate(2027, 2, 3), QTime(4, 5)));
    const CameraSettings shown = dialog->Record();
    EXPECT_EQ(shown.speedUnit, 2u);
    EXPECT_EQ(shown.year, 2027u);

    dialog->Set();

    EXPECT_EQ(messages_, QStringList{"Save Success"});
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    const std::vector<uint8_t> file = test::ReadBytes(CameraSettingsPath(card1_));
    ASSERT_EQ(file.size(), kCameraSettingsSize);
    CameraSettingsBytes bytes{};
    std::copy(file.begin(), file.end(), bytes.begin());
    EXPECT_EQ(bytes[15], kCameraMarkerWritten);
    EXPECT_EQ(StoredCameraSettingsChecksum(bytes), CameraSettingsChecksum(bytes));
    EXPECT_EQ(UnpackCameraSettings(bytes), shown);
    // Once the camera has taken the file over (0xFC), the player reads back every field.
    bytes[15] = kCameraMarkerAccepted;
    const uint32_t crc = CameraSettingsChecksum(bytes);
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    }
    test::WriteBytes(CameraSettingsPath(card1_), {bytes.begin(), bytes.end()});
    const CameraSettingsRead back = ReadCameraSettings(card1_);
    EXPECT_EQ(back.status, CameraFileStatus::kOk);
    EXPECT_EQ(back.settings, shown);
    // Written again as the player writes it, so the reopened dialog meets marker 0xFD.
    ASSERT_TRUE(WriteCameraSettings(card1_, shown).ok());

    messages_.clear();
    auto reopened = Open();
    EXPECT_TRUE(
        SameOptions(reopened->Record(), DefaultCameraSettings(std::chrono::system_clock::now())));
    EXPECT_TRUE(messages_.isEmpty());
}

TEST_F(CardSetupDialogTest, SetRefusesACardNoLongerListedAndWritesNothing) {
    auto dialog = Open();
    SetRoots({card2_});  // the first card was pulled out; its folder stayed behind
    dialog->Set();
    EXPECT_EQ(messages_, QStringList{"No camera card found"});
    EXPECT_FALSE(fs::exists(CameraSettingsPath(card1_)));
    EXPECT_NE(dialog->result(), QDialog::Accepted);
}

TEST_F(CardSetupDialogTest, ACardThatCannotBeWrittenSaysSaveErrorAndStaysOpen) {
    fs::create_directories(CameraSettingsPath(card1_));  // a folder in the settings file's place
    auto dialog = Open();
    dialog->Set();
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_.front().startsWith("Save Error")) << messages_.front().toStdString();
    EXPECT_NE(dialog->result(), QDialog::Accepted);
}

TEST_F(CardSetupDialogTest, DefaultAnsweredNoChangesNothingAndYesRestoresTheDefaults) {
    const CameraSettings onCard = PutCameraFile(card1_, 5);
    auto dialog = Open();
    answer_ = false;
    dialog->Default();
    EXPECT_EQ(questions_, QStringList{"Are you sure to default the settings?"});
    EXPECT_EQ(dialog->Record(), onCard);

    answer_ = true;
    dialog->Default();
    const CameraSettings defaults = DefaultCameraSettings(std::chrono::system_clock::now());
    EXPECT_TRUE(SameOptions(dialog->Record(), defaults));
    EXPECT_EQ(dialog->OptionList("language")->currentIndex(), 0);
    EXPECT_NE(dialog->Record().year, 2031u);
    EXPECT_FALSE(fs::exists(CameraSettingsPath(card1_).string() + ".tmp"));
    EXPECT_EQ(test::ReadBytes(CameraSettingsPath(card1_)).back(), kCameraMarkerAccepted);
}

TEST_F(CardSetupDialogTest, ClearStopsThePlaybackFromTheCardThenEmptiesIt) {
    test::WriteText(fs::path(card1_) / "DCIM" / "100MEDIA" / "A.TS", std::string(1500, 't'));
    test::WriteText(fs::path(card1_) / ".hidden", std::string(500, 'h'));
    test::WriteText(fs::path(card2_) / "other.ts", "keep");
    auto dialog = Open();

    dialog->Clear();
    ASSERT_TRUE(test::WaitGui([&] { return !dialog->IsBusy() && !messages_.isEmpty(); }));

    // The question names the card and what is on it.
    ASSERT_EQ(questions_.size(), 1);
    const QString label = QString::fromStdString(fs::path(card1_).filename().string());
    EXPECT_TRUE(questions_.front().startsWith(QStringLiteral("Erase all 2 files (2.0 kB) on ") +
                                              label + QStringLiteral(" (")))
        << questions_.front().toStdString();
    EXPECT_EQ(stops_, 1);
    EXPECT_TRUE(stoppedWithCardFull_);
    EXPECT_EQ(messages_, QStringList{"Clear Success"});
    EXPECT_TRUE(fs::is_empty(card1_));
    EXPECT_TRUE(fs::exists(fs::path(card2_) / "other.ts"));
}

TEST_F(CardSetupDialogTest, ClearAndFormatRefuseTheHomeFolderAndAFolderNoLongerListed) {
    TempDir home;
    test::WriteText(home.path() / "precious", "keep");
    const std::string homeText = Canonical(home);
    setenv("HOME", homeText.c_str(), 1);
    MakeCard(homeText);  // a home folder that looks like a card is still never cleared
    SetRoots({homeText, card1_});
    test::WriteText(fs::path(card1_) / "file", "keep");
    playing_ = card1_ + "/file";
    auto dialog = Open();

    dialog->DriveList()->setCurrentIndex(0);
    dialog->Clear();  // the home folder, listed first
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_.back().startsWith("Clear Fail"));
    EXPECT_TRUE(fs::exists(home.path() / "precious"));
    dialog->Format();
    ASSERT_EQ(messages_.size(), 2);
    EXPECT_EQ(messages_.back(), "Format Fail\nThe home folder cannot be cleared");
    EXPECT_TRUE(formatter_->roots.empty());

    dialog->DriveList()->setCurrentIndex(1);
    SetRoots({card2_});  // the card went away
    dialog->Clear();
    ASSERT_EQ(messages_.size(), 3);
    EXPECT_TRUE(messages_.back().startsWith("Clear Fail"));
    EXPECT_TRUE(fs::exists(fs::path(card1_) / "file"));
    EXPECT_EQ(stops_, 0);
}

TEST_F(CardSetupDialogTest, ClearAnsweredNoOrWithoutACardDeletesNothing) {
    test::WriteText(fs::path(card1_) / "file", "keep");
    auto early = Open(false);
    early->Clear();
    EXPECT_EQ(messages_, QStringList{"No camera card found"});
    EXPECT_TRUE(questions_.isEmpty());

    auto dialog = Open();
    answer_ = false;
    dialog->Clear();
    EXPECT_TRUE(fs::exists(fs::path(card1_) / "file"));
    EXPECT_FALSE(dialog->IsBusy());
}

TEST_F(CardSetupDialogTest, FormatStopsThePlaybackAndFormatsTheChosenCard) {
    playing_ = card2_ + "/DCIM/100MEDIA/A.TS";
    auto dialog = Open();
    dialog->DriveList()->setCurrentIndex(1);

    dialog->Format();
    ASSERT_TRUE(test::WaitGui([&] { return !dialog->IsBusy() && !messages_.isEmpty(); }));

    ASSERT_EQ(questions_.size(), 1);
    EXPECT_TRUE(questions_.front().endsWith("will be lost. Format it?"));
    EXPECT_TRUE(questions_.front().contains(QString::fromStdString(fs::path(card2_).filename())))
        << questions_.front().toStdString();
    EXPECT_EQ(stops_, 1);
    EXPECT_EQ(formatter_->roots, std::vector<std::string>{card2_});
    EXPECT_EQ(messages_, QStringList{"Format Success"});
    EXPECT_EQ(dialog->DriveList()->count(), 2) << "listed again after the format";

    // Playing from the other card goes on.
    playing_ = card2_ + "/x.ts";
    dialog->DriveList()->setCurrentIndex(0);
    formatter_->answer = Outcome(FormatStatus::kNotAuthorised, "no");
    dialog->Format();
    ASSERT_TRUE(test::WaitGui([&] { return !dialog->IsBusy() && messages_.size() == 2; }));
    EXPECT_EQ(stops_, 1);
    EXPECT_EQ(messages_.back(), "Format Fail\nNot authorised to format this card");

    formatter_->answer = Outcome(FormatStatus::kFailed, "mkfs.vfat: device too small");
    dialog->Format();
    ASSERT_TRUE(test::WaitGui([&] { return !dialog->IsBusy() && messages_.size() == 3; }));
    EXPECT_EQ(messages_.back(), "Format Fail\nmkfs.vfat: device too small");
}

TEST_F(CardSetupDialogTest, FormatThroughUDisks2SaysWhyABusyCardWasNotFormatted) {
    test::PrivateBus bus;
    ASSERT_FALSE(bus.Address().isEmpty());
    test::UDisksService service(bus);
    const QString block = QStringLiteral("/org/freedesktop/UDisks2/block_devices/mmcblk0p1");
    const QString drive = QStringLiteral("/org/freedesktop/UDisks2/drives/SD");
    service.StandIn().blocks[block] = {{QByteArray::fromStdString(card1_ + '\0')}, drive};
    service.StandIn().drives[drive] = true;
    service.StandIn().unmountError = QStringLiteral("org.freedesktop.UDisks2.Error.DeviceBusy");
    formatter_.reset();
    SetRoots({card1_});
    CardSetupDialog dialog(
        nullptr, std::make_shared<UDisks2Formatter>(bus.Connect(QStringLiteral("dialog"))), {});
    dialog.showMessage = [this](const QString& text) { messages_ << text; };
    dialog.confirm = [](const QString&) { return true; };
    ASSERT_TRUE(test::WaitGui([&] { return dialog.IsFilled(); }));

    dialog.Format();
    ASSERT_TRUE(test::WaitGui([&] { return !dialog.IsBusy() && !messages_.isEmpty(); }));

    EXPECT_EQ(messages_.back(),
              "Format Fail\nThe card is busy: close the files open on it and try again");
    EXPECT_TRUE(service.StandIn().Calls().last().startsWith("Filesystem.Unmount"));
    QDBusConnection::disconnectFromBus(QStringLiteral("dialog"));
}

// In English the dialog reads as plain words: none of its texts is a key of the camera's settings
// file or has the file's underscores, and what the card's settings file stores is unchanged.
TEST_F(CardSetupDialogTest, EnglishLabelsArePlainWordsNotTheSettingsFilesKeys) {
    Settings().activeLanguage = kEnglishLanguage;
    auto dialog = Open();
    QStringList rawKeys = {"Data_Time:", "Set_Time:", "Set_Time", "SD Card:"};
    for (const CameraOption& option : CameraOptions()) {
        rawKeys << QString::fromUtf8(option.label.data(),
                                     static_cast<qsizetype>(option.label.size()));
    }
    QStringList shown;
    for (const SkinLabel* label : dialog->findChildren<SkinLabel*>()) {
        shown << label->Text();
    }
    for (const QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
        shown << button->text();
    }
    for (const QString& text : shown) {
        EXPECT_FALSE(text.contains(QLatin1Char('_'))) << text.toStdString();
        EXPECT_FALSE(rawKeys.contains(text)) << text.toStdString();
    }
    EXPECT_TRUE(shown.contains(QStringLiteral("G-sensor sensitivity:")));
    EXPECT_TRUE(shown.contains(QStringLiteral("Photo resolution:")));
    EXPECT_TRUE(shown.contains(QStringLiteral("Date and time:")));
    EXPECT_TRUE(shown.contains(QStringLiteral("Set time")));
}

// A long mount path is shortened in the middle to fit the list, keeps both ends, and is whole in
// the tooltip and in what the buttons act on.
TEST_F(CardSetupDialogTest, ALongCardPathIsShortenedInTheMiddleAndWholeInItsTooltip) {
    const std::string deep =
        card1_ + "/media/someone-with-a-long-name/CAMERA_CARD_WITH_A_VERY_LONG_LABEL";
    MakeCard(deep);
    SetRoots({deep});
    playing_.clear();
    auto dialog = Open();
    QComboBox* list = dialog->DriveList();
    ASSERT_EQ(list->count(), 1);
    const QString shownText = list->currentText();
    EXPECT_TRUE(shownText.contains(QChar(0x2026))) << shownText.toStdString();
    EXPECT_TRUE(shownText.startsWith(QStringLiteral("/"))) << shownText.toStdString();
    EXPECT_TRUE(shownText.endsWith(QStringLiteral("LABEL"))) << shownText.toStdString();
    EXPECT_LE(list->fontMetrics().horizontalAdvance(shownText), list->width());
    EXPECT_EQ(list->currentData().toString().toStdString(), deep);
    EXPECT_EQ(list->itemData(0, Qt::ToolTipRole).toString().toStdString(), deep);
    EXPECT_EQ(list->toolTip().toStdString(), deep);
    dialog->Set();
    EXPECT_TRUE(fs::exists(CameraSettingsPath(deep))) << "Set writes to the whole path";
}

// Every text has room in the language it is shown in: no label runs into its list, no button
// or heading cuts its text, and nothing leaves the dialog.
TEST_F(CardSetupDialogTest, EveryTextFitsInEachShippedLanguage) {
    for (const char* stem : {"en_US", "de_DE", "ru_RU", "fr_FR"}) {
        Settings().activeLanguage =
            Languages().Scan(VELMARO_BIN_DIR "/Language", stem, kEnglishLanguage);
        ASSERT_EQ(std::string(LanguageStem(Settings().activeLanguage)), stem);
        auto dialog = Open(false);
        const QRect inside = dialog->rect();
        const QList<QComboBox*> lists = dialog->findChildren<QComboBox*>();
        for (const SkinLabel* label : dialog->findChildren<SkinLabel*>()) {
            EXPECT_LE(QFontMetrics(label->Font()).horizontalAdvance(label->Text()), label->width())
                << stem << ": " << label->Text().toStdString();
            EXPECT_TRUE(inside.contains(label->geometry())) << label->Text().toStdString();
            for (const QComboBox* list : lists) {
                EXPECT_FALSE(label->geometry().intersects(list->geometry()))
                    << stem << ": " << label->Text().toStdString();
            }
        }
        for (int id :
             {CardSetupDialog::kIdSet, CardSetupDialog::kIdDefault, CardSetupDialog::kIdFormat,
              CardSetupDialog::kIdClear, CardSetupDialog::kIdCancel}) {
            const SkinButton* button = dialog->Button(id);
            ASSERT_NE(button, nullptr);
            EXPECT_LT(button->fontMetrics().horizontalAdvance(button->text()), button->width())
                << stem << ": " << button->text().toStdString();
            EXPECT_TRUE(inside.contains(button->geometry())) << button->text().toStdString();
        }
        EXPECT_EQ(dialog->windowTitle(), Tr("SD Card Setup"));
    }
    Settings().activeLanguage = kEnglishLanguage;
    Settings().pendingLanguage = kEnglishLanguage;
}

}  // namespace
}  // namespace velmaro
