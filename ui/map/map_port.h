// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// What the main window and the panel need of the map view: the fixes of the track being
// played, the start of a new track, and docking like the video window. The map panel
// implements it.
#pragma once

#include <QRect>
#include <string>

#include "stream/telemetry_records.h"

class QWidget;

namespace velmaro {

class MapPort {
  public:
    virtual ~MapPort() = default;

    // One position fix of the picture on screen. A fix of another track than the current one
    // is kept but not drawn.
    virtual void UpdatePosition(int trackId, const GpsRecord& fix) = 0;
    // Forgets the track and its fix; fixes of `newTrackId` are drawn from now on.
    virtual void ResetTrack(int newTrackId) = 0;
    virtual int TrackId() const = 0;
    // The position, speed and course of the latest fix given; all 0 after a reset.
    virtual GpsRecord LatestFix() const = 0;

    virtual bool IsFloating() const = 0;
    virtual void FloatWindow() = 0;
    virtual void DockWindow() = 0;
    // Main-window client coordinates; written by every layout of the main window.
    virtual void SetDockedRect(const QRect& rect) = 0;
    virtual QRect DockedRect() const = 0;

    virtual QWidget* Widget() = 0;
};

}  // namespace velmaro
