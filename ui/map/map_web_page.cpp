// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/map/map_web_page.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <algorithm>
#include <cstdlib>

#include "app/app_settings.h"

namespace velmaro {
namespace {

constexpr const char* kChromiumFlagsVariable = "QTWEBENGINE_CHROMIUM_FLAGS";
constexpr const char* kNoGpuFlags = "--disable-gpu";
constexpr const char* kNoSandboxFlags = "--disable-gpu --no-sandbox";

constexpr const char* kLeafletFolder = "leaflet";

bool IsWebScheme(const QUrl& url) {
    return url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http");
}

// The page's folder and its leaflet/, resolved: an installed page reaches the system's Leaflet
// through a link, and a request's file is compared after its links are resolved too.
QStringList ReadableFolders(const QString& pageFolder) {
    QStringList folders;
    if (pageFolder.isEmpty()) {
        return folders;
    }
    const QDir page(pageFolder);
    for (const QString& folder :
         {page.canonicalPath(),
          QDir(page.filePath(QLatin1String(kLeafletFolder))).canonicalPath()}) {
        if (!folder.isEmpty() && folder != QLatin1String("/")) {
            folders.append(folder + QLatin1Char('/'));
        }
    }
    return folders;
}

}  // namespace

void PrepareWebEngine() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    const bool root = geteuid() == 0;
    if (std::getenv(kChromiumFlagsVariable) == nullptr) {
        setenv(kChromiumFlagsVariable, root ? kNoSandboxFlags : kNoGpuFlags, 1);
    }
    if (root) {
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    }
}

MapRequestGuard::MapRequestGuard(const QString& pageFolder, QObject* parent)
    : QWebEngineUrlRequestInterceptor(parent), folders_(ReadableFolders(pageFolder)) {}

bool MapRequestGuard::InPageFolder(const QUrl& url) const {
    const QString file = QFileInfo(url.toLocalFile()).canonicalFilePath();
    return !file.isEmpty() && std::any_of(folders_.begin(), folders_.end(),
                                          [&](const QString& f) { return file.startsWith(f); });
}

// Tiles are images wherever they come from (a tile server, a folder of the user's); scripts,
// styles, frames and reads are only ever the page's own files.
bool MapRequestGuard::Allows(const QUrl& url, QWebEngineUrlRequestInfo::ResourceType type) const {
    const bool image = type == QWebEngineUrlRequestInfo::ResourceTypeImage ||
                       type == QWebEngineUrlRequestInfo::ResourceTypeFavicon;
    if (url.scheme() == QLatin1String("data")) {
        return image;
    }
    if (url.isLocalFile()) {
        return image || InPageFolder(url);
    }
    return IsWebScheme(url) && image;
}

void MapRequestGuard::interceptRequest(QWebEngineUrlRequestInfo& info) {
    if (!Allows(info.requestUrl(), info.resourceType())) {
        info.block(true);
    }
}

MapWebPage::MapWebPage(QWebEngineProfile* profile, const QString& pageFolder, QObject* parent)
    : QWebEnginePage(profile, parent) {
    setUrlRequestInterceptor(new MapRequestGuard(pageFolder, this));
}

// The map stays the map: links leave for the user's browser.
bool MapWebPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    if (type == NavigationTypeLinkClicked) {
        if (IsWebScheme(url)) {
            QDesktopServices::openUrl(url);
        }
        return false;
    }
    return !isMainFrame || url.isLocalFile();
}

QWebEnginePage* MapWebPage::createWindow(WebWindowType) {
    return nullptr;
}

// A page without network fails to fetch tiles and says nothing about it.
void MapWebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                          const QString&) {}

QWebEngineProfile* MapProfile() {
    static QWebEngineProfile* profile = nullptr;
    if (profile != nullptr) {
        return profile;
    }
    profile = new QWebEngineProfile(QCoreApplication::instance());  // off the record
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setHttpUserAgent(
        QStringLiteral("Velmaro/%1 (dash camera player) %2")
            .arg(QString::fromStdString(VersionText()), profile->httpUserAgent()));
    QWebEngineSettings* settings = profile->settings();
    // A page from a file sees every web address as foreign: the tiles need this to load at all;
    // the guard keeps it to images.
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    // Without this a page from a file cannot even load its own scripts; the guard keeps its
    // reads to its folder.
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    settings->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    return profile;
}

}  // namespace velmaro
