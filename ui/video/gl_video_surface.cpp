// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/video/gl_video_surface.h"

#include <QMetaObject>
#include <algorithm>
#include <iterator>
#include <utility>

namespace velmaro {
namespace {

const char* const kVertexShader = R"(
attribute vec2 position;
varying vec2 uv;
void main() {
    uv = vec2((position.x + 1.0) * 0.5, (1.0 - position.y) * 0.5);
    gl_Position = vec4(position, 0.0, 1.0);
}
)";

// BT.601 with limited range: luma 16..235, chroma 16..240 around 128.
const char* const kYuvShader = R"(
varying vec2 uv;
uniform sampler2D planeY;
uniform sampler2D planeU;
uniform sampler2D planeV;
void main() {
    float y = 1.1643836 * (texture2D(planeY, uv).r - 0.0627451);
    float u = texture2D(planeU, uv).r - 0.5019608;
    float v = texture2D(planeV, uv).r - 0.5019608;
    gl_FragColor = vec4(clamp(vec3(y + 1.5960268 * v,
                                   y - 0.3917623 * u - 0.8129676 * v,
                                   y + 2.0172321 * u), 0.0, 1.0), 1.0);
}
)";

// The RGB back buffer is B, G, R, X in memory, uploaded as RGBA bytes.
const char* const kRgbShader = R"(
varying vec2 uv;
uniform sampler2D planeY;
void main() {
    gl_FragColor = vec4(texture2D(planeY, uv).bgr, 1.0);
}
)";

const GLfloat kQuad[] = {-1.f, -1.f, 1.f, -1.f, -1.f, 1.f, 1.f, 1.f};

std::unique_ptr<QOpenGLShaderProgram> MakeProgram(const char* fragment) {
    auto program = std::make_unique<QOpenGLShaderProgram>();
    program->addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader);
    program->addShaderFromSourceCode(QOpenGLShader::Fragment, fragment);
    program->bindAttributeLocation("position", 0);
    program->link();
    return program;
}

}  // namespace

GlVideoSurface::GlVideoSurface(QWidget* parent) : QOpenGLWidget(parent) {}

GlVideoSurface::~GlVideoSurface() {
    if (context() != nullptr) {
        // The base class deletes the context after this object is gone: no call back to here.
        disconnect(context(), nullptr, this, nullptr);
    }
    ReleaseGl();
}

void GlVideoSurface::Show(PictureRef picture) {
    {
        std::lock_guard lock(mutex_);
        std::swap(pending_, picture);
        hasPending_ = true;
    }
    picture.reset();  // a picture never painted goes back to its pool outside the lock
    QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
}

// Frees what lives in the context about to go (on reparenting, or with the surface). Whatever
// the textures held is gone with them: the picture on show has to be uploaded again.
void GlVideoSurface::ReleaseGl() {
    uploaded_ = false;
    if (!yuvProgram_ || !isValid()) {
        return;  // never initialised, or no GL context at all (no display)
    }
    makeCurrent();
    glDeleteTextures(3, textures_);
    std::fill(std::begin(textures_), std::end(textures_), 0);
    yuvProgram_.reset();
    rgbProgram_.reset();
    doneCurrent();
}

void GlVideoSurface::initializeGL() {
    initializeOpenGLFunctions();
    // Qt replaces the context when the surface moves to another top-level window and then
    // calls initializeGL again: nothing made in the old one is valid here.
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &GlVideoSurface::ReleaseGl,
            Qt::UniqueConnection);
    uploaded_ = false;
    glGenTextures(3, textures_);
    for (GLuint texture : textures_) {
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    yuvProgram_ = MakeProgram(kYuvShader);
    rgbProgram_ = MakeProgram(kRgbShader);
}

// True when a new picture has come. A held picture is presented again and again; it is the
// picture on show already.
bool GlVideoSurface::TakePending() {
    PictureRef previous;
    std::lock_guard lock(mutex_);
    if (!hasPending_) {
        return false;
    }
    hasPending_ = false;
    if (pending_ == current_) {
        pending_.reset();
        return false;
    }
    previous = std::exchange(current_, std::move(pending_));
    return true;
}

void GlVideoSurface::UploadPlane(int index, int width, int height, int stride,
                                 const uint8_t* bytes) {
    const bool rgb = current_->format == PictureFormat::kRgb32;
    const int bytesPerPixel = rgb ? 4 : 1;
    glBindTexture(GL_TEXTURE_2D, textures_[index]);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, stride / bytesPerPixel);
    glTexImage2D(GL_TEXTURE_2D, 0, rgb ? GL_RGBA : GL_R8, width, height, 0, rgb ? GL_RGBA : GL_RED,
                 GL_UNSIGNED_BYTE, bytes);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
}

void GlVideoSurface::Upload() {
    if (!current_) {
        uploaded_ = false;
        return;
    }
    const PresentedPicture& p = *current_;
    if (p.width <= 0 || p.height <= 0 || p.Plane(0).empty()) {
        uploaded_ = false;
        return;
    }
    if (p.format == PictureFormat::kRgb32) {
        UploadPlane(0, p.width, p.height, p.strides[0], p.Plane(0).data());
    } else {
        const int cw = (p.width + 1) / 2;
        const int ch = (p.height + 1) / 2;
        UploadPlane(0, p.width, p.height, p.strides[0], p.Plane(0).data());
        UploadPlane(1, cw, ch, p.strides[1], p.Plane(1).data());
        UploadPlane(2, cw, ch, p.strides[2], p.Plane(2).data());
    }
    uploaded_ = true;
}

void GlVideoSurface::Draw() {
    QOpenGLShaderProgram* program =
        current_->format == PictureFormat::kRgb32 ? rgbProgram_.get() : yuvProgram_.get();
    program->bind();
    const char* names[3] = {"planeY", "planeU", "planeV"};
    const int planes = current_->format == PictureFormat::kRgb32 ? 1 : 3;
    for (int i = 0; i < planes; ++i) {
        glActiveTexture(GL_TEXTURE0 + i);
        glBindTexture(GL_TEXTURE_2D, textures_[i]);
        program->setUniformValue(names[i], i);
    }
    program->enableAttributeArray(0);
    program->setAttributeArray(0, GL_FLOAT, kQuad, 2);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    program->disableAttributeArray(0);
    program->release();
    glActiveTexture(GL_TEXTURE0);
}

void GlVideoSurface::paintGL() {
    glClearColor(0.f, 0.f, 0.f, 1.f);
    glClear(GL_COLOR_BUFFER_BIT);
    if (TakePending() || !uploaded_) {
        Upload();
    }
    if (uploaded_) {
        Draw();
    }
}

}  // namespace velmaro
