// The video window's surface: presenter output on an OpenGL widget. "YV12" pictures are
// uploaded as three planes and converted in a shader (BT.601, limited range, as the decoder
// delivers them); "RGB" pictures arrive converted and are uploaded as one texture. Both are
// stretched over the whole widget, as the window's size changes nothing upstream.
#pragma once

#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>
#include <memory>
#include <mutex>

#include "media/video_output.h"

namespace velmaro {

class VideoWidget : public QOpenGLWidget, protected QOpenGLFunctions, public VideoOutput {
    Q_OBJECT

  public:
    explicit VideoWidget(QWidget* parent = nullptr);
    ~VideoWidget() override;

    // Video worker thread: takes the picture and schedules a repaint on the GUI thread.
    void Present(PictureRef picture) override;

    int PicturesPresented() const;

  protected:
    void initializeGL() override;
    void paintGL() override;

  private:
    bool TakePending();
    void Upload();
    void UploadPlane(int index, int width, int height, int stride, const uint8_t* bytes);
    void Draw();

    mutable std::mutex mutex_;
    PictureRef pending_;       // guarded by mutex_; written by the worker, taken by paintGL
    bool hasPending_ = false;  // guarded by mutex_
    int presented_ = 0;         // guarded by mutex_

    PictureRef current_;  // GUI thread only: the picture in the textures
    std::unique_ptr<QOpenGLShaderProgram> yuvProgram_;
    std::unique_ptr<QOpenGLShaderProgram> rgbProgram_;
    GLuint textures_[3] = {0, 0, 0};
    bool uploaded_ = false;
};

}  // namespace velmaro
