// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/map/map_view.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QOpenGLWidget>
#include <QScreen>
#include <QShortcut>
#include <QWebChannel>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>
#include <system_error>

#include "app/app_settings.h"
#include "app/language_table.h"
#include "ui/map/map_route_bridge.h"
#include "ui/map/map_web_page.h"

namespace velmaro {
namespace {

const QColor kBlank(7, 9, 12);

// Texts of the script host, as the player has always shown them.
// %1: the Config.ini key.
constexpr char kRefusedTileText[] =
    "The tile address in %1 cannot be used; the map shows its default tiles";
const char kNoScriptHost[] = "函数GetJScrip调用失败！";
const char kUnknownName[] = "Unknown name.";
const char kCallFailed[] = "Exception occurred.";
const char kNoErrorText[] = "FormatMessage Netive Error";

// Qt's own client of the web channel, compiled into the web channel library.
const char kWebChannelScript[] = ":/qtwebchannel/qwebchannel.js";
const char kRouteObject[] = "route";

QString ScriptLiteral(const QString& text) {
    return QString::fromStdString(ScriptStringLiteral(text.toStdString()));
}

// The call's outcome comes back as an object: {ok, value} when the function ran (the value is
// absent when it returned nothing), {error} when there was none by that name or it threw.
QString CallWrapper(const QString& name, const QStringList& arguments) {
    QStringList literals;
    for (const QString& argument : arguments) {
        literals << ScriptLiteral(argument);
    }
    return QStringLiteral(
               "(function(){var f=window[%1];"
               "if(typeof f!=='function'){return {error:'name'};}"
               "try{return {ok:true,value:f(%2)};}catch(e){return {error:'call'};}})()")
        .arg(ScriptLiteral(name), literals.join(QLatin1Char(',')));
}

}  // namespace

MapView::MapView(QWidget* mainWindow) : MapView(mainWindow, DataPath(kMapPageFile)) {}

MapView::MapView(QWidget* mainWindow, const std::filesystem::path& page)
    : QWidget(mainWindow), mainWindow_(mainWindow) {
    setWindowTitle(QStringLiteral("Map"));
    const AppSettings& settings = Settings();
    defaultLongitude_ = settings.defaultLongitude;
    defaultLatitude_ = settings.defaultLatitude;

    std::error_code error;
    const bool havePage = std::filesystem::is_regular_file(page, error);
    const QString pagePath = QString::fromStdString(page.string());
    // The web view sits in a widget window of its own, shown inside the map area through a
    // window container. A web view draws through OpenGL, and a window holding one composes every
    // flush of all its widgets through OpenGL too: on a software renderer the main window then
    // spent more CPU composing itself for each moved seek-bar thumb than the decoder spent.
    viewHost_ = std::make_unique<QWidget>();
    viewHost_->setAttribute(Qt::WA_NativeWindow);
    // Not a window of the user's: closing the main window still ends the player.
    viewHost_->setAttribute(Qt::WA_QuitOnClose, false);
    view_ = new QWebEngineView(viewHost_.get());
    // The view makes its drawing child only once the page loads, and a window made before that
    // is made again for OpenGL, away from the container. A hidden OpenGL child (never shown,
    // so it never draws) has the window made for OpenGL from the start.
    (new QOpenGLWidget(viewHost_.get()))->hide();
    viewHost_->winId();
    viewContainer_ = QWidget::createWindowContainer(viewHost_->windowHandle(), this);
    // The widget is shown while the map is (see showEvent), for its window to draw.
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    auto* webPage = new MapWebPage(
        MapProfile(), havePage ? QFileInfo(pagePath).absolutePath() : QString(), view_);
    webPage->setBackgroundColor(kBlank);
    view_->setPage(webPage);
    connect(webPage, &QWebEnginePage::loadFinished, this, &MapView::OnLoadFinished);
    OfferRouteChannel(webPage);
    // A missing page leaves the area blank, without a word.
    if (havePage) {
        view_->load(QUrl::fromLocalFile(QFileInfo(pagePath).absoluteFilePath()));
    }

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, [this] { DockWindow(); });
}

// The channel's client goes in as a script of the browser's own, like the element pushes: the
// page keeps loading scripts only from its folder and never evaluates anything it is given.
void MapView::OfferRouteChannel(QWebEnginePage* page) {
    QFile client(QString::fromLatin1(kWebChannelScript));
    if (!client.open(QIODevice::ReadOnly)) {
        return;  // the map works as before, only without clicks on the route
    }
    QWebEngineScript script;
    script.setName(QStringLiteral("velmaro-webchannel"));
    script.setSourceCode(QString::fromUtf8(client.readAll()));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    page->scripts().insert(script);

    auto* bridge = new MapRouteBridge(this);
    connect(bridge, &MapRouteBridge::Picked, this, &MapView::RoutePicked);
    auto* channel = new QWebChannel(page);
    channel->registerObject(QString::fromLatin1(kRouteObject), bridge);
    page->setWebChannel(channel, QWebEngineScript::MainWorld);
}

GpsRecord MapView::LatestFix() const {
    GpsRecord fix;
    fix.latitude = latitude_;
    fix.longitude = longitude_;
    fix.speed = speed_;
    fix.course = course_;
    return fix;
}

MapElements MapView::Elements() const {
    MapElements e;
    e.map_lng = longitude_;
    e.map_lat = latitude_;
    e.offset_lng = offsetLongitude_;
    e.offset_lat = offsetLatitude_;
    e.map_status = status_;
    e.SpeedBar = speed_;
    e.AngleBar = course_;
    e.Index = trackId_;
    return e;
}

void MapView::UpdatePosition(int trackId, const GpsRecord& fix) {
    latitude_ = fix.latitude;
    longitude_ = fix.longitude;
    speed_ = fix.speed;
    course_ = fix.course;
    if (trackId != trackId_) {
        return;
    }
    // The next start centres the map where the car last was.
    AppSettings& settings = Settings();
    settings.defaultLongitude = longitude_;
    settings.defaultLatitude = latitude_;
    const MapOffsets offsets = ReadMapOffsets(settings, longitude_, latitude_);
    offsetLongitude_ = offsets.longitude;
    offsetLatitude_ = offsets.latitude;
    status_ = kMapStatusRunning;
    haveFix_ = true;
    Push();
}

void MapView::ResetTrack(int newTrackId) {
    longitude_ = 0.0;
    latitude_ = 0.0;
    speed_ = 0.0;
    course_ = 0.0;
    trackId_ = -1;
    haveFix_ = false;
    status_ = kMapStatusClear;
    Push();
    trackId_ = newTrackId;
}

// Element writes run in a world of their own: the page sees the values, never the script.
void MapView::Push() {
    if (!pageLoaded_) {
        return;
    }
    view_->page()->runJavaScript(QString::fromStdString(MapPushScript(Elements())),
                                 QWebEngineScript::ApplicationWorld);
}

void MapView::OnLoadFinished(bool ok) {
    if (!ok || pageLoaded_) {
        return;
    }
    pageLoaded_ = true;
    Push();
    // A fix that came while the page loaded is where the map opens, on the road layer's datum
    // as the page will draw it; setMap draws it at once.
    const double longitude = haveFix_ ? longitude_ + offsetLongitude_ : defaultLongitude_;
    const double latitude = haveFix_ ? latitude_ + offsetLatitude_ : defaultLatitude_;
    const MapTileSources tiles = ReadMapTileSources(Settings());
    const std::string setup = MapDefaultCentreScript(longitude, latitude) + tiles.script;
    view_->page()->runJavaScript(QString::fromStdString(setup), QWebEngineScript::ApplicationWorld);
    for (const std::string& key : tiles.refusedKeys) {
        ShowMessage(QString::fromStdString(GetLanguageString(kRefusedTileText))
                        .arg(QString::fromStdString(key)));
    }
    QPointer<MapView> self(this);
    CallScript(QStringLiteral("setMap"), {}, [self](const QVariant&) {
        if (self) {
            self->mapReady_ = true;
            emit self->MapBuilt();
        }
    });
}

bool MapView::CallScript(const QString& name, const QStringList& arguments, ScriptResult result) {
    if (!pageLoaded_) {
        ShowMessage(QString::fromUtf8(kNoScriptHost));
        return false;
    }
    QPointer<MapView> self(this);
    view_->page()->runJavaScript(CallWrapper(name, arguments), QWebEngineScript::MainWorld,
                                 [self, result = std::move(result)](const QVariant& reply) {
                                     if (!self) {
                                         return;
                                     }
                                     const QVariantMap outcome = reply.toMap();
                                     const QString error =
                                         outcome.value(QStringLiteral("error")).toString();
                                     if (outcome.isEmpty()) {
                                         self->ShowMessage(QString::fromLatin1(kNoErrorText));
                                     } else if (error == QLatin1String("name")) {
                                         self->ShowMessage(QString::fromLatin1(kUnknownName));
                                     } else if (!error.isEmpty()) {
                                         self->ShowMessage(QString::fromLatin1(kCallFailed));
                                     } else if (result) {
                                         result(outcome.value(QStringLiteral("value")));
                                     }
                                 });
    return true;
}

// Not modal: playback goes on while it is open.
void MapView::ShowMessage(const QString& text) {
    lastMessage_ = text;
    if (messageBox_) {
        messageBox_->close();
    }
    messageBox_ = new QMessageBox(QMessageBox::Warning, QStringLiteral("Velmaro"), text,
                                  QMessageBox::Ok, this);
    messageBox_->setAttribute(Qt::WA_DeleteOnClose);
    messageBox_->open();
}

void MapView::FloatWindow() {
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

void MapView::DockWindow() {
    if (!floating_) {
        return;
    }
    floating_ = false;
    const bool wasVisible = isVisible();
    setParent(mainWindow_, Qt::Widget);
    setGeometry(dockRect_);
    if (wasVisible) {
        show();
    }
}

void MapView::resizeEvent(QResizeEvent*) {
    viewContainer_->setGeometry(rect());
    viewHost_->resize(size());
    view_->setGeometry(QRect(QPoint(), size()));
}

// A visible top-level widget whose window lives in a container cannot be closed, and the
// application's quit gives up on it: the view's widget is visible only while the map is.
void MapView::showEvent(QShowEvent*) {
    viewHost_->show();
}

void MapView::hideEvent(QHideEvent*) {
    viewHost_->hide();
}

void MapView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        DockWindow();
        return;
    }
    QWidget::keyPressEvent(event);
}

// Closing the floating map docks it; the view lives as long as the main window.
void MapView::closeEvent(QCloseEvent* event) {
    if (floating_) {
        event->ignore();
        DockWindow();
        return;
    }
    QWidget::closeEvent(event);
}

}  // namespace velmaro
