// How a finished frame reaches the window. With a GPU, through SDL's renderer: a texture
// upload and a scaled copy. Without one, the renderer lands on a software OpenGL that
// costs many times the copy itself, so the frame goes through the window's own surface
// (X shared memory), scaled and letterboxed by our code.
#pragma once

#include <cstdint>
#include <memory>

struct SDL_Window;

namespace tk::platform {

enum class PresentPath { Renderer, WindowSurface };

class Presenter {
 public:
  virtual ~Presenter() = default;
  virtual PresentPath Path() const = 0;
  // Shows a frame of 0x00RRGGBB pixels letterboxed in the window; false when it could not.
  virtual bool Present(const uint32_t* pixels, int width, int height) = 0;
  // The same when only rows [firstRow, endRow) changed since the frame presented last;
  // a presenter may scale and send only what shows them.
  virtual bool PresentRows(const uint32_t* pixels, int width, int height, int firstRow,
                           int endRow) {
    (void)firstRow;
    (void)endRow;
    return Present(pixels, width, height);
  }
  // The window lost what it showed (exposed, resized): the next frame repaints all of it.
  virtual void Invalidate() {}
  // A window point, as mouse events give it, in frame pixels.
  virtual void MapMouse(int& x, int& y) = 0;
};

// TINOKVAK_PRESENT=gpu or =surface forces a path; otherwise the renderer is used when the
// machine has a hardware-accelerated one. Null when neither path can be set up.
std::unique_ptr<Presenter> MakePresenter(SDL_Window* window, int frameWidth, int frameHeight);

}  // namespace tk::platform
