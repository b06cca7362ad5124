// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The one object the map page can reach in the player, through Qt's web channel: the page
// reports a click on the drawn track. What arrives is outside input and is checked here; only a
// position on the globe goes on.
#pragma once

#include <QJsonValue>
#include <QObject>

namespace velmaro {

class MapRouteBridge : public QObject {
    Q_OBJECT

  public:
    using QObject::QObject;

    // Called by the page: the clicked point of the track, in the receiver's coordinates. Values
    // that are not numbers on the globe are dropped.
    Q_INVOKABLE void pick(const QJsonValue& latitude, const QJsonValue& longitude);

  signals:
    void Picked(double latitude, double longitude);
};

}  // namespace velmaro
