// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The video surface on a GPU: presented pictures drawn by OpenGL. "YV12" pictures are uploaded
// as three planes and converted in a shader (BT.601, limited range, as the decoder delivers
// them); "RGB" pictures arrive converted and are uploaded as one texture. Both are stretched
// over the whole surface. A picture is uploaded once; repaints and a held picture presented
// again draw the textures as they are, until the context is replaced (moving the surface to
// another top-level window does that), which uploads the picture on show into the new one.
#pragma once

#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>
#include <memory>
#include <mutex>

#include "media/video_output.h"

namespace velmaro {

class GlVideoSurface : public QOpenGLWidget, protected QOpenGLFunctions {
    Q_OBJECT

  public:
    explicit GlVideoSurface(QWidget* parent = nullptr);
    ~GlVideoSurface() override;

    // Any thread: takes the picture and schedules a repaint on the GUI thread.
    void Show(PictureRef picture);

  protected:
    void initializeGL() override;
    void paintGL() override;

  private:
    bool TakePending();
    void ReleaseGl();
    void Upload();
    void UploadPlane(int index, int width, int height, int stride, const uint8_t* bytes);
    void Draw();

    mutable std::mutex mutex_;
    PictureRef pending_;       // guarded by mutex_; written by the presenting thread
    bool hasPending_ = false;  // guarded by mutex_

    // GUI thread only.
    PictureRef current_;  // the picture shown: in the textures once `uploaded_`
    std::unique_ptr<QOpenGLShaderProgram> yuvProgram_;
    std::unique_ptr<QOpenGLShaderProgram> rgbProgram_;
    GLuint textures_[3] = {0, 0, 0};
    bool uploaded_ = false;  // current_ is in the textures of the present context
};

}  // namespace velmaro
