// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// A private D-Bus daemon and, on it, a stand-in of UDisks2: block devices with their mount
// points and drives, answering the calls the format client makes and writing each call down.
// The service lives on its own thread and connection, so a client blocking on the test's
// thread is answered.
#pragma once

#include <QByteArrayList>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QProcess>
#include <QThread>
#include <map>

namespace velmaro::test {

inline constexpr char kUDisksRoot[] = "/org/freedesktop/UDisks2";
inline constexpr char kUDisksService[] = "org.freedesktop.UDisks2";

// dbus-daemon --session on a fresh address, ended with the object.
class PrivateBus {
  public:
    PrivateBus() {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--print-address"),
                       QStringLiteral("--nofork")});
        if (daemon_.waitForStarted() && daemon_.waitForReadyRead(10'000)) {
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        }
    }
    ~PrivateBus() {
        daemon_.terminate();
        daemon_.waitForFinished(5'000);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const QString& Address() const { return address_; }
    QDBusConnection Connect(const QString& name) const {
        return QDBusConnection::connectToBus(address_, name);
    }

  private:
    QProcess daemon_;
    QString address_;
};

struct StandInBlock {
    QByteArrayList mountPoints;  // empty: the block carries no file system
    QString drive = QStringLiteral("/");
};

class UDisksStandIn : public QDBusVirtualObject {
  public:
    std::map<QString, StandInBlock> blocks;  // by object path
    std::map<QString, bool> drives;          // Removable, by object path
    QString unmountError;                    // an error name the Unmount answers with
    QString formatError;
    QString mountError;  // an error name the Mount answers with

    QStringList Calls() const {
        QMutexLocker lock(&mutex_);
        return calls_;
    }
    QString FormatType() const {
        QMutexLocker lock(&mutex_);
        return formatType_;
    }
    QVariantMap FormatOptions() const {
        QMutexLocker lock(&mutex_);
        return formatOptions_;
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QString member =
            message.interface().section(QLatin1Char('.'), -1) + QLatin1Char('.') + message.member();
        QString call = member + QLatin1Char(' ') + message.path();
        if (member == QLatin1String("Properties.Get")) {
            call += QLatin1Char(' ') + message.arguments().value(0).toString().section('.', -1) +
                    QLatin1Char('.') + message.arguments().value(1).toString();
        }
        {
            QMutexLocker lock(&mutex_);
            calls_ << call;
        }
        connection.send(Answer(message, member));
        return true;
    }

  private:
    QDBusMessage Answer(const QDBusMessage& message, const QString& member) {
        if (member == QLatin1String("Manager.GetBlockDevices")) {
            QList<QDBusObjectPath> paths;
            for (const auto& [path, block] : blocks) {
                paths << QDBusObjectPath(path);
            }
            return message.createReply(QVariant::fromValue(paths));
        }
        if (member == QLatin1String("Properties.Get")) {
            return Property(message);
        }
        if (member == QLatin1String("Filesystem.Unmount")) {
            return unmountError.isEmpty() ? message.createReply()
                                          : message.createErrorReply(unmountError, "refused");
        }
        if (member == QLatin1String("Filesystem.Mount")) {
            const auto block = blocks.find(message.path());
            const QString point = block == blocks.end() || block->second.mountPoints.isEmpty()
                                      ? QString()
                                      : QString::fromUtf8(block->second.mountPoints.front());
            return mountError.isEmpty()
                       ? message.createReply(QVariant(point.section(QChar(0), 0, 0)))
                       : message.createErrorReply(mountError, "cannot mount");
        }
        if (member == QLatin1String("Block.Format")) {
            QMutexLocker lock(&mutex_);
            formatType_ = message.arguments().value(0).toString();
            formatOptions_ = qdbus_cast<QVariantMap>(message.arguments().value(1));
            return formatError.isEmpty() ? message.createReply()
                                         : message.createErrorReply(formatError, "refused");
        }
        return message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                                        member);
    }

    QDBusMessage Property(const QDBusMessage& message) {
        const QString interface = message.arguments().value(0).toString();
        const QString name = message.arguments().value(1).toString();
        const auto block = blocks.find(message.path());
        const auto noSuch = [&] {
            return message.createErrorReply(
                QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"), "no such property");
        };
        if (interface.endsWith(QLatin1String("Filesystem")) && name == "MountPoints") {
            if (block == blocks.end() || block->second.mountPoints.isEmpty()) {
                return noSuch();
            }
            return message.createReply(
                QVariant::fromValue(QDBusVariant(QVariant::fromValue(block->second.mountPoints))));
        }
        if (interface.endsWith(QLatin1String("Block")) && name == "Drive" &&
            block != blocks.end()) {
            return message.createReply(QVariant::fromValue(
                QDBusVariant(QVariant::fromValue(QDBusObjectPath(block->second.drive)))));
        }
        const auto drive = drives.find(message.path());
        if (interface.endsWith(QLatin1String("Drive")) && name == "Removable" &&
            drive != drives.end()) {
            return message.createReply(QVariant::fromValue(QDBusVariant(drive->second)));
        }
        return noSuch();
    }

    mutable QMutex mutex_;
    QStringList calls_;
    QString formatType_;
    QVariantMap formatOptions_;
};

// The stand-in registered as org.freedesktop.UDisks2 on the private bus, served by its own
// thread. Fill the stand-in's tables before the first call.
class UDisksService {
  public:
    explicit UDisksService(const PrivateBus& bus, bool registerName = true)
        : connection_(bus.Connect(QStringLiteral("udisks-stand-in"))) {
        qDBusRegisterMetaType<QByteArrayList>();
        // Registered before the move, so what the connection attaches to it moves along.
        connection_.registerVirtualObject(QLatin1String(kUDisksRoot), &standIn_,
                                          QDBusConnection::SubPath);
        thread_.start();
        standIn_.moveToThread(&thread_);
        if (registerName) {
            connection_.registerService(QLatin1String(kUDisksService));
        }
    }
    ~UDisksService() {
        connection_.unregisterObject(QLatin1String(kUDisksRoot), QDBusConnection::UnregisterTree);
        thread_.quit();
        thread_.wait();
        QDBusConnection::disconnectFromBus(QStringLiteral("udisks-stand-in"));
    }
    UDisksService(const UDisksService&) = delete;
    UDisksService& operator=(const UDisksService&) = delete;

    UDisksStandIn& StandIn() { return standIn_; }

  private:
    QDBusConnection connection_;
    QThread thread_;
    UDisksStandIn standIn_;
};

}  // namespace velmaro::test
