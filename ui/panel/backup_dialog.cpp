// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/panel/backup_dialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QRegularExpression>
#include <QStringList>

namespace velmaro {
namespace {

const QStringList kClipFilters = {
    QStringLiteral("avi Files(*.avi)"),
    QStringLiteral("nts file(*.nts)"),
    QStringLiteral("ts Files (*.ts)"),
    QStringLiteral("MP4 Files (*.mp4)"),
};
const QStringList kClipSuffixes = {QStringLiteral(".avi"), QStringLiteral(".nts"),
                                   QStringLiteral(".ts"), QStringLiteral(".mp4")};

}  // namespace

QString WithClipSuffix(const QString& name, const QString& filter) {
    for (const QString& suffix : kClipSuffixes) {
        if (name.endsWith(suffix, Qt::CaseInsensitive)) {
            return name;
        }
    }
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("\\*(\\.[A-Za-z0-9]+)")).match(filter);
    return match.hasMatch() ? name + match.captured(1) : name;
}

std::optional<BackupChoice> AskBackupTarget(QWidget* parent, const QString& title,
                                            const QString& leaveOutSoundText) {
    // Qt's own dialog, as the platform's has no room for the check box.
    QFileDialog dialog(parent, title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(kClipFilters);
    auto* withoutSound = new QCheckBox(leaveOutSoundText, &dialog);
    withoutSound->setObjectName(QStringLiteral("withoutSound"));
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        grid->addWidget(withoutSound, grid->rowCount(), 0, 1, grid->columnCount());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return BackupChoice{WithClipSuffix(dialog.selectedFiles().front(), dialog.selectedNameFilter()),
                        withoutSound->isChecked()};
}

}  // namespace velmaro
