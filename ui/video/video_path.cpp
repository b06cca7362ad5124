// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/video/video_path.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QtGlobal>

namespace velmaro {
namespace {

constexpr const char* kSoftwareRenderers[] = {"llvmpipe", "softpipe", "SwiftShader", "Software"};

QString AskRenderer() {
    QOpenGLContext context;
    if (!context.create()) {
        return {};
    }
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface)) {
        return {};
    }
    const auto* name = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    QString renderer = name != nullptr ? QString::fromLatin1(name) : QString();
    context.doneCurrent();
    return renderer;
}

}  // namespace

bool IsSoftwareRenderer(QStringView renderer) {
    for (const char* marker : kSoftwareRenderers) {
        if (renderer.contains(QLatin1String(marker), Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

QString OpenGlRenderer() {
    static const QString renderer = AskRenderer();
    return renderer;
}

VideoPath ChooseVideoPath(VideoPath requested) {
    if (requested != VideoPath::kAuto) {
        return requested;
    }
    const QByteArray forced = qgetenv(kVideoPathVariable).trimmed().toLower();
    if (forced == "gl" || forced == "opengl") {
        return VideoPath::kOpenGl;
    }
    if (forced == "software") {
        return VideoPath::kSoftware;
    }
    const QString renderer = OpenGlRenderer();
    return renderer.isEmpty() || IsSoftwareRenderer(renderer) ? VideoPath::kSoftware
                                                              : VideoPath::kOpenGl;
}

}  // namespace velmaro
