// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// MapView: the map view. A web page (map/mapdlg.htm from the data folder) shows the car's track
// on a map; the player talks to it through hidden input elements: every accepted fix writes
// the position, the datum offsets, speed, heading, the track id and a status word, and the page
// draws them on its own timer. The view sits docked in the main window; the play control
// panel's map button floats it as a window of its own, and closing that window or Esc docks it
// again.
//
// A click on the drawn track comes back through Qt's web channel as the clicked point of the
// track (RoutePicked); the page can reach nothing else of the player.
//
// Without the page file the view stays blank and every push goes nowhere, without a message.
#pragma once

#include <QPointer>
#include <QVariant>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "map/map_page.h"
#include "stream/telemetry_records.h"
#include "ui/map/map_port.h"

class QMessageBox;
class QWebEnginePage;
class QWebEngineView;

namespace velmaro {

class MapView : public QWidget, public MapPort {
    Q_OBJECT

  public:
    static constexpr QSize kFloatingSize{600, 420};
    using ScriptResult = std::function<void(const QVariant&)>;

    // The start centre is the latest fix given while the page loaded, else the position of the
    // settings record, where the car was last seen.
    explicit MapView(QWidget* mainWindow);
    // The same with the page taken from `page` instead of the data folder.
    MapView(QWidget* mainWindow, const std::filesystem::path& page);

    void UpdatePosition(int trackId, const GpsRecord& fix) override;
    void ResetTrack(int newTrackId) override;
    int TrackId() const override { return trackId_; }
    GpsRecord LatestFix() const override;

    bool IsFloating() const override { return floating_; }
    void FloatWindow() override;
    void DockWindow() override;
    void SetDockedRect(const QRect& rect) override { dockRect_ = rect; }
    QRect DockedRect() const override { return dockRect_; }
    QWidget* Widget() override { return this; }

    // Calls the page's global function `name` with text arguments; `result`, when given,
    // receives what it returned. The call runs when the page gets to it: false only when no
    // page is loaded (a message says so); a name the page lacks or a call that throws is
    // reported in a message then.
    bool CallScript(const QString& name, const QStringList& arguments = {},
                    ScriptResult result = {});

    // The elements as the next push writes them.
    MapElements Elements() const;
    // True once the page has loaded and its map was built.
    bool MapReady() const { return mapReady_; }
    QWebEngineView* View() const { return view_; }
    QString LastMessage() const { return lastMessage_; }

  signals:
    void MapBuilt();
    // A click on the track: the point meant, in the receiver's coordinates (offset taken off).
    void RoutePicked(double latitude, double longitude);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void OnLoadFinished(bool ok);
    void OfferRouteChannel(QWebEnginePage* page);
    void Push();
    void ShowMessage(const QString& text);

    QWidget* const mainWindow_;
    std::unique_ptr<QWidget> viewHost_;  // the view's own window; before view_, dies after it
    QWebEngineView* view_;
    QWidget* viewContainer_ = nullptr;  // shows viewHost_'s window in this widget
    QPointer<QMessageBox> messageBox_;
    QString lastMessage_;
    bool pageLoaded_ = false;
    bool mapReady_ = false;

    bool floating_ = false;
    QRect dockRect_;
    double defaultLongitude_ = 120.528903;
    double defaultLatitude_ = 24.077715;
    double longitude_ = 120.528903;
    double latitude_ = 24.077715;
    double offsetLongitude_ = 0.0;
    double offsetLatitude_ = 0.0;
    std::string status_{kMapStatusStopped};
    double speed_ = 0.0;
    double course_ = 0.0;
    int trackId_ = -1;
    bool haveFix_ = false;  // a fix of the track drawn since the last reset, kept while loading
};

}  // namespace velmaro
