// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/navigator/incident_list.h"

#include <QDateTime>
#include <algorithm>

namespace velmaro {

IncidentList::IncidentList(QWidget* parent) : QListWidget(parent) {
    setFlow(QListView::LeftToRight);
    setWrapping(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::NoFocus);
    setStyleSheet(
        QStringLiteral("QListWidget { background: #202020; color: #ffa000; border: 1px "
                       "solid #404040; font-size: 11px; }"
                       "QListWidget::item { padding: 0 6px; }"));
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int at = row(item);
        if (at >= 0 && at < static_cast<int>(items_.size())) {
            emit IncidentChosen(items_[static_cast<size_t>(at)].cardTime);
        }
    });
}

QString IncidentList::ItemText(const IncidentListItem& item) {
    const QString when =
        QDateTime::fromSecsSinceEpoch(item.time).toString(QStringLiteral("HH:mm:ss"));
    return QStringLiteral("\u26A0 %1  |\u0394G| %2").arg(when).arg(item.deltaG, 0, 'f', 1);
}

void IncidentList::SetIncidents(std::vector<IncidentListItem> items) {
    std::stable_sort(items.begin(), items.end(),
                     [](const auto& a, const auto& b) { return a.time < b.time; });
    items_ = std::move(items);
    clear();
    for (const IncidentListItem& item : items_) {
        addItem(ItemText(item));
    }
}

}  // namespace velmaro
