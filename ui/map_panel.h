// The map area of the main window until the web map arrives: an empty docked panel that keeps
// the map view's side of the bargain (fixes parsed, track ids, the position remembered for the
// next start, docking and floating), and shows the current position as text.
#pragma once

#include <QWidget>

#include "stream/telemetry.h"
#include "ui/map_port.h"

namespace velmaro {

class MapPanel : public QWidget, public MapPort {
    Q_OBJECT

  public:
    static constexpr QSize kFloatingSize{600, 420};

    // `gsensor` receives the G-sensor values of every sentence parsed.
    MapPanel(QWidget* mainWindow, GSensorRecord* gsensor);

    bool UpdatePosition(int trackId, const std::string& sentence) override;
    void ResetTrack(int newTrackId) override;
    int TrackId() const override { return trackId_; }
    GpsRecord LatestFix() const override { return fix_; }

    bool IsFloating() const override { return floating_; }
    void FloatWindow() override;
    void DockWindow() override;
    void SetDockedRect(const QRect& rect) override { dockedRect_ = rect; }
    QRect DockedRect() const override { return dockedRect_; }
    QWidget* Widget() override { return this; }

    int FixesDrawn() const { return fixesDrawn_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QWidget* const mainWindow_;
    GSensorRecord* const gsensor_;
    GpsRecord fix_;
    int trackId_ = -1;
    int fixesDrawn_ = 0;
    bool floating_ = false;
    QRect dockedRect_;
};

}  // namespace velmaro
