// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Formatting a card through UDisks2 on the system bus: the block device mounted at the drive root
// is looked up among UDisks2's block devices, its drive must say it is removable, the file
// system is unmounted and the device formatted as FAT ("vfat"), which every camera reads.
// UDisks2 asks polkit, so an ordinary desktop user may format a card without being root.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariant>
#include <optional>

#include "platform/card_formatter.h"

namespace velmaro {

class UDisks2Formatter : public CardFormatter {
  public:
    static constexpr int kQueryTimeoutMs = 25'000;
    // A big card takes a while to get its tables written, and polkit may be asking the user.
    static constexpr int kFormatTimeoutMs = 10 * 60'000;

    // The system bus, where UDisks2 lives; tests hand in a private bus with a stand-in service.
    explicit UDisks2Formatter(QDBusConnection bus = QDBusConnection::systemBus());

    FormatOutcome Format(const std::string& mountRoot) override;

  private:
    // The object path of the block device mounted at `mountRoot`; nothing with `failure` set
    // when UDisks2 cannot be asked or none is mounted there.
    std::optional<QString> FindBlock(const QString& mountRoot, FormatOutcome& failure);
    bool CheckRemovable(const QString& block, FormatOutcome& failure);
    void Remount(const QString& block, FormatOutcome& outcome);
    std::optional<QVariant> Property(const QString& path, const char* interface, const char* name,
                                     FormatOutcome& failure);
    // Sends the call; on an error reply fills `failure` and returns nothing.
    std::optional<QDBusMessage> Call(const QString& path, const char* interface, const char* method,
                                     const QList<QVariant>& arguments, int timeoutMs,
                                     FormatOutcome& failure);

    QDBusConnection bus_;
};

}  // namespace velmaro
