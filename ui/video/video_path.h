// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// How the video window draws: with OpenGL (the GPU converts and scales) or in software
// (libswscale scales straight to the window's size, Qt copies the result). On a GPU, OpenGL is
// the cheaper; on a software OpenGL renderer (virtual machines, remote desktops, machines
// without a graphics driver) it costs several times what drawing in software costs, because
// every texture upload, shader pass and framebuffer copy runs on the CPU.
#pragma once

#include <QString>
#include <QStringView>

namespace velmaro {

enum class VideoPath {
    kAuto,  // software on a software renderer or without OpenGL, OpenGL otherwise
    kOpenGl,
    kSoftware,
};

// The environment variable that overrides the choice: "gl" or "software".
inline constexpr char kVideoPathVariable[] = "VELMARO_VIDEO_PATH";

// True for the names software renderers give as GL_RENDERER (llvmpipe, softpipe, SwiftShader,
// "Software Rasterizer", ...).
bool IsSoftwareRenderer(QStringView renderer);

// GL_RENDERER of the default OpenGL context on this display, asked once; empty when there is
// no OpenGL. GUI thread, after the application object exists.
QString OpenGlRenderer();

// The path to take: `requested` unless kAuto, else what the environment variable says, else
// the renderer's kind.
VideoPath ChooseVideoPath(VideoPath requested);

}  // namespace velmaro
