// Where presented pictures go: the video window of the UI (an OpenGL widget) or an off-screen
// target in tests and command-line tools. The presenter hands over a finished picture with
// Present, from the video worker's thread; implementations swap it in under their own lock and
// repaint on their own thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace velmaro {

enum class PictureFormat {
    kYv12,   // three planes: Y (width x height), then U and V (half width x half height)
    kRgb32,  // one plane of 4-byte pixels, byte order B, G, R, X
};

// One picture as presented; owns its bytes so the receiver can keep it.
struct PresentedPicture {
    PictureFormat format = PictureFormat::kYv12;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> planes[3];
    int strides[3] = {0, 0, 0};
    double pts = 0.0;  // of the frame it shows; informational
};

class VideoOutput {
  public:
    virtual ~VideoOutput() = default;
    // Video worker thread. The output takes the picture (it may swap buffers with it: the
    // caller gets back a buffer to reuse, or an empty one).
    virtual void Present(PresentedPicture& picture) = 0;
};

}  // namespace velmaro
