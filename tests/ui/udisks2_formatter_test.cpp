// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/udisks2_formatter.h"

#include <gtest/gtest.h>

#include <QDir>

#include "tests/test_support.h"
#include "tests/ui/udisks2_stand_in.h"

namespace velmaro {
namespace {

using test::PrivateBus;
using test::StandInBlock;
using test::UDisksService;

const QString kSystemDisk = QStringLiteral("/org/freedesktop/UDisks2/block_devices/sda1");
const QString kLoop = QStringLiteral("/org/freedesktop/UDisks2/block_devices/loop0");
const QString kCard = QStringLiteral("/org/freedesktop/UDisks2/block_devices/sdb1");
const QString kSystemDrive = QStringLiteral("/org/freedesktop/UDisks2/drives/Disk");
const QString kCardDrive = QStringLiteral("/org/freedesktop/UDisks2/drives/Reader");

// A machine with a system disk mounted at "/", an unmounted loop device and a card in a reader
// mounted at the test's folder.
class UDisks2FormatterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(bus_.Address().isEmpty()) << "dbus-daemon did not start";
        card_ = QDir(QString::fromStdString(cardDir_.path().string())).canonicalPath();
        service_ = std::make_unique<UDisksService>(bus_);
        auto& standIn = service_->StandIn();
        standIn.blocks[kSystemDisk] = StandInBlock{{QByteArray("/", 2)}, kSystemDrive};
        standIn.blocks[kLoop] = StandInBlock{};
        standIn.blocks[kCard] = StandInBlock{{(card_ + QLatin1Char('\0')).toUtf8()}, kCardDrive};
        standIn.drives[kSystemDrive] = false;
        standIn.drives[kCardDrive] = true;
    }
    void TearDown() override {
        service_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("format-client"));
    }

    FormatOutcome Format(const QString& root) {
        UDisks2Formatter formatter(bus_.Connect(QStringLiteral("format-client")));
        return formatter.Format(root.toStdString());
    }

    test::UDisksStandIn& StandIn() { return service_->StandIn(); }

    PrivateBus bus_;
    test::TempDir cardDir_;
    QString card_;
    std::unique_ptr<UDisksService> service_;
};

TEST_F(UDisks2FormatterTest, FindsTheCardChecksItsDriveUnmountsAndFormatsFat) {
    const FormatOutcome outcome = Format(card_ + QLatin1Char('/'));

    EXPECT_EQ(outcome.status, FormatStatus::kOk) << outcome.detail;
    const QStringList expected = {
        "Manager.GetBlockDevices /org/freedesktop/UDisks2/Manager",
        "Properties.Get " + kLoop + " Filesystem.MountPoints",
        "Properties.Get " + kSystemDisk + " Filesystem.MountPoints",
        "Properties.Get " + kCard + " Filesystem.MountPoints",
        "Properties.Get " + kCard + " Block.Drive",
        "Properties.Get " + kCardDrive + " Drive.Removable",
        "Filesystem.Unmount " + kCard,
        "Block.Format " + kCard,
        "Filesystem.Mount " + kCard,
    };
    EXPECT_EQ(StandIn().Calls(), expected);
    EXPECT_EQ(outcome.mountedAt, card_.toStdString());
    EXPECT_FALSE(outcome.leftUnmounted);
    EXPECT_EQ(StandIn().FormatType(), "vfat");
    EXPECT_EQ(StandIn().FormatOptions().value("update-partition-type"), QVariant(true));
    EXPECT_EQ(StandIn().FormatOptions().value("mkfs-args").toStringList(),
              (QStringList{"-F", "32"}));
}

TEST_F(UDisks2FormatterTest, NeverTouchesADeviceWhoseDriveIsNotRemovable) {
    StandIn().drives[kCardDrive] = false;
    EXPECT_EQ(Format(card_).status, FormatStatus::kNotRemovable);
    StandIn().blocks[kCard].drive = QStringLiteral("/");  // no drive at all (a loop, a RAM disk)
    EXPECT_EQ(Format(card_).status, FormatStatus::kNotRemovable);
    for (const QString& call : StandIn().Calls()) {
        EXPECT_FALSE(call.startsWith("Filesystem.Unmount") || call.startsWith("Block.Format"))
            << call.toStdString();
    }
}

TEST_F(UDisks2FormatterTest, AFolderThatIsNoMountPointIsNotFormatted) {
    QDir(card_).mkdir(QStringLiteral("DCIM"));
    const FormatOutcome outcome = Format(card_ + QStringLiteral("/DCIM"));
    EXPECT_EQ(outcome.status, FormatStatus::kNotMounted);
    EXPECT_FALSE(StandIn().Calls().join(' ').contains("Unmount"));
}

TEST_F(UDisks2FormatterTest, ReportsABusyCardAndDoesNotFormatIt) {
    StandIn().unmountError = QStringLiteral("org.freedesktop.UDisks2.Error.DeviceBusy");
    EXPECT_EQ(Format(card_).status, FormatStatus::kBusy);
    EXPECT_FALSE(StandIn().Calls().join(' ').contains("Block.Format"));
}

TEST_F(UDisks2FormatterTest, ReportsARefusedAuthorisation) {
    StandIn().formatError = QStringLiteral("org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain");
    EXPECT_EQ(Format(card_).status, FormatStatus::kNotAuthorised);
}

TEST_F(UDisks2FormatterTest, ReportsOtherFailuresWithTheServicesMessage) {
    StandIn().formatError = QStringLiteral("org.freedesktop.UDisks2.Error.Failed");
    const FormatOutcome outcome = Format(card_);
    EXPECT_EQ(outcome.status, FormatStatus::kFailed);
    EXPECT_EQ(outcome.detail, "refused");
    EXPECT_TRUE(StandIn().Calls().last().startsWith("Filesystem.Mount")) << "the old one again";
    EXPECT_FALSE(outcome.leftUnmounted);
}

// Unmounted and not mounted again, the card shows in no folder: the user must be told.
TEST_F(UDisks2FormatterTest, SaysWhenTheCardCouldNotBeMountedAgain) {
    StandIn().mountError = QStringLiteral("org.freedesktop.UDisks2.Error.Failed");
    for (const QString& formatError :
         {QString(), QStringLiteral("org.freedesktop.UDisks2.Error.Failed")}) {
        StandIn().formatError = formatError;
        const FormatOutcome outcome = Format(card_);
        EXPECT_EQ(outcome.ok(), formatError.isEmpty());
        EXPECT_TRUE(outcome.leftUnmounted);
        EXPECT_EQ(outcome.detail, formatError.isEmpty() ? "" : "refused")
            << "the format's own words";
    }
}

TEST(UDisks2Formatter, SaysSoWhenNoServiceAnswers) {
    PrivateBus bus;
    ASSERT_FALSE(bus.Address().isEmpty());
    UDisks2Formatter formatter(bus.Connect(QStringLiteral("lonely-client")));
    EXPECT_EQ(formatter.Format("/media/card").status, FormatStatus::kNoService);
    QDBusConnection::disconnectFromBus(QStringLiteral("lonely-client"));

    UDisks2Formatter unconnected(QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("no-bus")));
    EXPECT_EQ(unconnected.Format("/media/card").status, FormatStatus::kNoService);
    QDBusConnection::disconnectFromBus(QStringLiteral("no-bus"));
}

}  // namespace
}  // namespace velmaro
