// SPDX-FileCopyrightText: 2026 Velmaro developers
// SPDX-License-Identifier: GPL-3.0-or-later
// The video window's surface: where the presenter's pictures appear, stretched over the whole
// widget (the window's size changes nothing upstream). It draws them on one of two paths,
// chosen once (see video_path.h): with OpenGL on a GPU, through a GlVideoSurface child that
// covers the widget; in software otherwise, through a WindowScaler that scales each new
// picture to the widget's pixel size on its own thread, and a VideoRasterWindow child that
// draws it with a plain copy.
#pragma once

#include <QWidget>
#include <atomic>
#include <memory>

#include "media/video_output.h"
#include "ui/video/video_path.h"

namespace velmaro {

class GlVideoSurface;
class VideoRasterWindow;
class WindowScaler;

class VideoWidget : public QWidget, public VideoOutput {
    Q_OBJECT

  public:
    explicit VideoWidget(QWidget* parent = nullptr, VideoPath path = VideoPath::kAuto);
    ~VideoWidget() override;

    // Video worker thread: takes the picture and has it drawn on the GUI thread.
    void Present(PictureRef picture) override;

    int PicturesPresented() const;
    // kOpenGl or kSoftware, as chosen at construction.
    VideoPath Path() const { return path_; }
    // Software path: pictures scaled to the widget's size so far; 0 on the OpenGL path.
    int PicturesScaled() const;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void FollowSize();

    const VideoPath path_;
    GlVideoSurface* gl_ = nullptr;          // OpenGL path: the child that draws
    std::unique_ptr<WindowScaler> scaler_;  // software path
    VideoRasterWindow* raster_ = nullptr;   // software path: draws; owned by rasterHost_
    QWidget* rasterHost_ = nullptr;         // software path: the child that holds raster_
    std::atomic<int> presented_{0};         // written by the video worker
};

}  // namespace velmaro
