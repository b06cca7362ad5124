// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The Backup dialog: where a clip goes, in which form (by the name's suffix) and whether its
// sound goes with it.
#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace velmaro {

struct BackupChoice {
    QString path;
    bool withoutSound = false;
};

// Asks for the clip's name; nothing when the user cancels. A name without a clip suffix gets the
// one of the chosen filter.
std::optional<BackupChoice> AskBackupTarget(QWidget* parent, const QString& title,
                                            const QString& leaveOutSoundText);

// `name` with the suffix of `filter` ("MP4 Files (*.mp4)") unless it already ends in one of the
// clip suffixes.
QString WithClipSuffix(const QString& name, const QString& filter);

}  // namespace velmaro
