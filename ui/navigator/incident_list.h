// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The day's incidents as a small list below the video: time and jump of each, earliest first.
// Choosing one asks the owner to play from a little before it.
#pragma once

#include <QListWidget>
#include <cstdint>
#include <vector>

namespace velmaro {

struct IncidentListItem {
    int64_t time = 0;      // as the navigator shows it (camera or GPS-corrected local time)
    int64_t cardTime = 0;  // the moment of the card to play from
    double deltaG = 0.0;
};

class IncidentList : public QListWidget {
    Q_OBJECT

  public:
    explicit IncidentList(QWidget* parent = nullptr);

    // Replaces the items; sorted by time.
    void SetIncidents(std::vector<IncidentListItem> items);
    const std::vector<IncidentListItem>& Incidents() const { return items_; }
    static QString ItemText(const IncidentListItem& item);

  signals:
    void IncidentChosen(int64_t cardTime);

  private:
    std::vector<IncidentListItem> items_;
};

}  // namespace velmaro
