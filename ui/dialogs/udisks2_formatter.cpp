// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/udisks2_formatter.h"

#include <QByteArrayList>
#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QFileInfo>

namespace velmaro {
namespace {

constexpr char kService[] = "org.freedesktop.UDisks2";
constexpr char kManagerPath[] = "/org/freedesktop/UDisks2/Manager";
constexpr char kManagerInterface[] = "org.freedesktop.UDisks2.Manager";
constexpr char kBlockInterface[] = "org.freedesktop.UDisks2.Block";
constexpr char kFilesystemInterface[] = "org.freedesktop.UDisks2.Filesystem";
constexpr char kDriveInterface[] = "org.freedesktop.UDisks2.Drive";
constexpr char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";
constexpr char kNoDrive[] = "/";
constexpr char kFatType[] = "vfat";

FormatStatus StatusOfError(const QString& name) {
    static const QStringList kNoService = {
        QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
        QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"),
        QStringLiteral("org.freedesktop.DBus.Error.NoServer"),
        QStringLiteral("org.freedesktop.DBus.Error.Disconnected"),
        QStringLiteral("org.freedesktop.DBus.Error.NoReply"),
        QStringLiteral("org.freedesktop.DBus.Error.Timeout"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
    };
    static const QStringList kNotAuthorised = {
        QStringLiteral("org.freedesktop.UDisks2.Error.NotAuthorized"),
        QStringLiteral("org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain"),
        QStringLiteral("org.freedesktop.UDisks2.Error.NotAuthorizedDismissed"),
        QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
    };
    if (kNoService.contains(name)) {
        return FormatStatus::kNoService;
    }
    if (kNotAuthorised.contains(name)) {
        return FormatStatus::kNotAuthorised;
    }
    if (name == QLatin1String("org.freedesktop.UDisks2.Error.DeviceBusy")) {
        return FormatStatus::kBusy;
    }
    return FormatStatus::kFailed;
}

// UDisks2 lists mount points as NUL-terminated byte strings.
QString MountPointText(QByteArray bytes) {
    while (!bytes.isEmpty() && bytes.back() == '\0') {
        bytes.chop(1);
    }
    return QString::fromLocal8Bit(bytes);
}

// The root as the kernel lists it in the mount table: absolute, links resolved.
QString CanonicalRoot(const std::string& mountRoot) {
    const QString root = QString::fromStdString(mountRoot);
    const QString canonical = QFileInfo(root).canonicalFilePath();
    return QDir::cleanPath(canonical.isEmpty() ? root : canonical);
}

}  // namespace

UDisks2Formatter::UDisks2Formatter(QDBusConnection bus) : bus_(std::move(bus)) {}

std::optional<QDBusMessage> UDisks2Formatter::Call(const QString& path, const char* interface,
                                                   const char* method,
                                                   const QList<QVariant>& arguments, int timeoutMs,
                                                   FormatOutcome& failure) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QLatin1String(kService), path, QLatin1String(interface), QLatin1String(method));
    message.setArguments(arguments);
    // polkit may ask the user for a password on the card's behalf.
    message.setInteractiveAuthorizationAllowed(true);
    const QDBusMessage reply = bus_.call(message, QDBus::Block, timeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return reply;
    }
    failure.status = StatusOfError(reply.errorName());
    failure.detail =
        (reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage()).toStdString();
    return std::nullopt;
}

std::optional<QVariant> UDisks2Formatter::Property(const QString& path, const char* interface,
                                                   const char* name, FormatOutcome& failure) {
    const std::optional<QDBusMessage> reply =
        Call(path, kPropertiesInterface, "Get",
             {QString::fromLatin1(interface), QString::fromLatin1(name)}, kQueryTimeoutMs, failure);
    if (!reply || reply->arguments().isEmpty()) {
        return std::nullopt;
    }
    return reply->arguments().front().value<QDBusVariant>().variant();
}

std::optional<QString> UDisks2Formatter::FindBlock(const QString& mountRoot,
                                                   FormatOutcome& failure) {
    const std::optional<QDBusMessage> reply =
        Call(QLatin1String(kManagerPath), kManagerInterface, "GetBlockDevices",
             {QVariant::fromValue(QVariantMap())}, kQueryTimeoutMs, failure);
    if (!reply) {
        return std::nullopt;
    }
    const auto blocks = qdbus_cast<QList<QDBusObjectPath>>(reply->arguments().value(0));
    for (const QDBusObjectPath& block : blocks) {
        FormatOutcome ignored;  // a block without a file system has no mount points to offer
        const std::optional<QVariant> points =
            Property(block.path(), kFilesystemInterface, "MountPoints", ignored);
        if (!points) {
            if (ignored.status == FormatStatus::kNoService) {
                failure = ignored;
                return std::nullopt;
            }
            continue;
        }
        for (const QByteArray& point : qdbus_cast<QByteArrayList>(*points)) {
            if (QDir::cleanPath(MountPointText(point)) == mountRoot) {
                return block.path();
            }
        }
    }
    failure.status = FormatStatus::kNotMounted;
    failure.detail = "no block device is mounted at " + mountRoot.toStdString();
    return std::nullopt;
}

bool UDisks2Formatter::CheckRemovable(const QString& block, FormatOutcome& failure) {
    const std::optional<QVariant> drive = Property(block, kBlockInterface, "Drive", failure);
    if (!drive) {
        return false;
    }
    const QString drivePath = qdbus_cast<QDBusObjectPath>(*drive).path();
    std::optional<QVariant> removable;
    if (!drivePath.isEmpty() && drivePath != QLatin1String(kNoDrive)) {
        removable = Property(drivePath, kDriveInterface, "Removable", failure);
        if (!removable && failure.status == FormatStatus::kNoService) {
            return false;
        }
    }
    if (!removable || !removable->toBool()) {
        failure.status = FormatStatus::kNotRemovable;
        failure.detail = block.toStdString() + " is not on a removable drive";
        return false;
    }
    return true;
}

FormatOutcome UDisks2Formatter::Format(const std::string& mountRoot) {
    FormatOutcome outcome;
    if (!bus_.isConnected()) {
        outcome.status = FormatStatus::kNoService;
        outcome.detail = bus_.lastError().message().toStdString();
        return outcome;
    }
    const std::optional<QString> block = FindBlock(CanonicalRoot(mountRoot), outcome);
    if (!block || !CheckRemovable(*block, outcome)) {
        return outcome;
    }
    if (!Call(*block, kFilesystemInterface, "Unmount", {QVariant::fromValue(QVariantMap())},
              kQueryTimeoutMs, outcome)) {
        return outcome;
    }
    // Cameras want FAT32 whatever the card's size (a small card would get FAT16); the partition
    // type follows so that every reader sees FAT too. Services that do not know an option
    // ignore it.
    const QVariantMap options = {
        {QStringLiteral("update-partition-type"), true},
        {QStringLiteral("mkfs-args"), QStringList{QStringLiteral("-F"), QStringLiteral("32")}},
    };
    if (Call(*block, kBlockInterface, "Format",
             {QString::fromLatin1(kFatType), QVariant::fromValue(options)}, kFormatTimeoutMs,
             outcome)) {
        outcome.status = FormatStatus::kOk;
        outcome.detail.clear();
    }
    Remount(*block, outcome);
    return outcome;
}

// The card was unmounted for the format; whether the format worked or not, the user expects it
// back where it was, or to be told that it is not.
void UDisks2Formatter::Remount(const QString& block, FormatOutcome& outcome) {
    FormatOutcome mountFailure;
    const std::optional<QDBusMessage> reply =
        Call(block, kFilesystemInterface, "Mount", {QVariant::fromValue(QVariantMap())},
             kQueryTimeoutMs, mountFailure);
    if (!reply || reply->arguments().isEmpty()) {
        outcome.leftUnmounted = true;
        return;
    }
    outcome.mountedAt = reply->arguments().front().toString().toStdString();
}

}  // namespace velmaro
