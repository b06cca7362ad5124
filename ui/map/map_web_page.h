// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The browser side of the map view: the page object that hosts map/mapdlg.htm and the rules it
// runs under. The page's scripts come only from its own folder and the system's Leaflet its
// leaflet/ link leads to; its JavaScript reads no other
// local file and fetches nothing remote but images (the tiles); a link (the tile credits) opens
// in the user's browser instead of replacing the map; script errors stay silent.
#pragma once

#include <QDir>
#include <QWebEnginePage>
#include <QWebEngineUrlRequestInterceptor>

class QWebEngineProfile;

namespace velmaro {

// Call before the QApplication is made: the map's browser shares the application's GL
// contexts, and runs without GPU (a map needs none and Xvfb has none) and, as root, without
// the sandbox Chromium refuses to run as root with. Flags the user set are kept.
void PrepareWebEngine();

class MapRequestGuard : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT

  public:
    MapRequestGuard(const QString& pageFolder, QObject* parent);

    void interceptRequest(QWebEngineUrlRequestInfo& info) override;
    // The rule, apart from the request object: may a request of `type` for `url` go out?
    bool Allows(const QUrl& url, QWebEngineUrlRequestInfo::ResourceType type) const;

  private:
    bool InPageFolder(const QUrl& url) const;

    // Canonical, each with a trailing '/': the page's folder and where its leaflet/ leads; empty
    // when there is no page.
    const QStringList folders_;
};

class MapWebPage : public QWebEnginePage {
    Q_OBJECT

  public:
    // `pageFolder`: the folder whose files the page may read; empty when there is no page.
    MapWebPage(QWebEngineProfile* profile, const QString& pageFolder, QObject* parent);

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceId) override;
};

// The profile every map page uses: nothing kept on disk and a user agent that names the player
// (tile servers ask for one). Lives with the application.
QWebEngineProfile* MapProfile();

}  // namespace velmaro
