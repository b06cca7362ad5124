#include "ui/map_panel.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include "app/app_settings.h"

namespace velmaro {
namespace {

const QColor kWell(7, 9, 12);
const QColor kText(122, 134, 149);

}  // namespace

MapPanel::MapPanel(QWidget* mainWindow, GSensorRecord* gsensor)
    : QWidget(mainWindow), mainWindow_(mainWindow), gsensor_(gsensor) {
    setWindowTitle(QStringLiteral("Map"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

bool MapPanel::UpdatePosition(int trackId, const std::string& sentence) {
    GSensorRecord ignored;
    GpsRecord fix = fix_;
    const TelemetryOptions options{.otherReceivers = Settings().gpsOtherReceivers};
    if (!ParseTelemetry(sentence, gsensor_ != nullptr ? *gsensor_ : ignored, fix, options)) {
        return false;
    }
    fix_ = fix;
    if (trackId != trackId_) {
        return true;
    }
    // The next start centres the map where the car last was.
    AppSettings& settings = Settings();
    settings.m_default_lng = fix_.longitude;
    settings.m_default_lat = fix_.latitude;
    ++fixesDrawn_;
    update();
    return true;
}

void MapPanel::ResetTrack(int newTrackId) {
    fix_ = GpsRecord{};
    trackId_ = newTrackId;
    update();
}

void MapPanel::FloatWindow() {
    if (floating_) {
        return;
    }
    floating_ = true;
    setParent(nullptr, Qt::Window);
    setWindowTitle(QStringLiteral("Map"));
    resize(kFloatingSize);
    if (const QScreen* screen =
            mainWindow_ != nullptr ? mainWindow_->screen() : QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), kFloatingSize);
        frame.moveCenter(screen->geometry().center());
        move(frame.topLeft());
    }
    show();
}

void MapPanel::DockWindow() {
    if (!floating_) {
        return;
    }
    floating_ = false;
    const bool wasVisible = isVisible();
    setParent(mainWindow_, Qt::Widget);
    setGeometry(dockedRect_);
    if (wasVisible) {
        show();
    }
}

void MapPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kWell);
    if (fixesDrawn_ == 0) {
        return;
    }
    painter.setPen(kText);
    painter.drawText(
        rect().adjusted(8, 6, -8, -6), Qt::AlignLeft | Qt::AlignBottom,
        QStringLiteral("%1, %2").arg(fix_.latitude, 0, 'f', 6).arg(fix_.longitude, 0, 'f', 6));
}

void MapPanel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && floating_) {
        DockWindow();
        return;
    }
    QWidget::keyPressEvent(event);
}

// Closing the floating map docks it.
void MapPanel::closeEvent(QCloseEvent* event) {
    if (floating_) {
        event->ignore();
        DockWindow();
        return;
    }
    QWidget::closeEvent(event);
}

}  // namespace velmaro
