#include "platform/sdl/Presenter.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/FrameScaler.h"

namespace tk::platform {

namespace {

class RendererPresenter : public Presenter {
 public:
  RendererPresenter(SDL_Renderer* r, int w, int h) : r_(r) {
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    // Letterboxed and scaled; SDL maps mouse events to frame pixels itself.
    SDL_RenderSetLogicalSize(r_, w, h);
    tex_ = SDL_CreateTexture(r_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, w, h);
  }
  ~RendererPresenter() override {
    if (tex_) SDL_DestroyTexture(tex_);
    SDL_DestroyRenderer(r_);
  }
  bool Ok() const { return tex_ != nullptr; }
  PresentPath Path() const override { return PresentPath::Renderer; }
  bool Present(const uint32_t* pixels, int width, int height) override {
    SDL_UpdateTexture(tex_, nullptr, pixels, width * 4);
    SDL_SetRenderDrawColor(r_, 0, 0, 0, 255);
    SDL_RenderClear(r_);
    const SDL_Rect dst{0, 0, width, height};
    SDL_RenderCopy(r_, tex_, nullptr, &dst);
    SDL_RenderPresent(r_);
    return true;
  }
  void MapMouse(int&, int&) override {}

 private:
  SDL_Renderer* r_;
  SDL_Texture* tex_ = nullptr;
};

class SurfacePresenter : public Presenter {
 public:
  SurfacePresenter(SDL_Window* w, int frameW, int frameH) : w_(w), fw_(frameW), fh_(frameH) {}
  PresentPath Path() const override { return PresentPath::WindowSurface; }
  bool Present(const uint32_t* pixels, int width, int height) override {
    return Draw(pixels, width, height, 0, height);
  }
  bool PresentRows(const uint32_t* pixels, int width, int height, int firstRow,
                   int endRow) override {
    return Draw(pixels, width, height, firstRow, endRow);
  }
  void Invalidate() override { full_ = true; }
  void MapMouse(int& x, int& y) override {
    int ww = 0, wh = 0;
    SDL_GetWindowSize(w_, &ww, &wh);
    WindowToFrame(FitLetterbox(ww, wh, fw_, fh_), x, y, x, y);
  }

 private:
  // Scales and sends the window rows that show frame rows [firstRow, endRow); all of the
  // window when its contents are new or lost.
  bool Draw(const uint32_t* pixels, int width, int height, int firstRow, int endRow) {
    SDL_Surface* s = SDL_GetWindowSurface(w_);
    if (!s) return false;
    const bool whole = full_ || s != surface_ || s->w != sw_ || s->h != sh_ ||
                       width != fw_ || height != fh_;
    fw_ = width;
    fh_ = height;
    const Letterbox box = FitLetterbox(s->w, s->h, width, height);
    if (box.W <= 0 || box.H <= 0) return false;
    // The window rows to scale and send.
    int y0 = 0, y1 = box.H;
    if (!whole) {
      scaler_.RowsShowing(height, box.H, firstRow, endRow, y0, y1);
      if (y1 <= y0) return true;  // shrunk away: the window shows what it showed
    }
    if (SDL_MUSTLOCK(s) && SDL_LockSurface(s) != 0) return false;
    if (whole) {
      // New or lost contents: the bars are painted once, then only the picture changes.
      SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 0, 0, 0));
    }
    auto* base = static_cast<uint8_t*>(s->pixels);
    const uint32_t f = s->format->format;
    if (f == SDL_PIXELFORMAT_RGB888 || f == SDL_PIXELFORMAT_ARGB8888) {
      auto* dst = reinterpret_cast<uint32_t*>(base + static_cast<size_t>(box.Y) * s->pitch) + box.X;
      scaler_.Scale(pixels, width, height, dst, s->pitch / 4, box.W, box.H, y0, y1);
    } else {
      // A display of another depth: scale in our format, then let SDL convert.
      y0 = 0;
      y1 = box.H;
      tmp_.resize(static_cast<size_t>(box.W) * box.H);
      scaler_.Scale(pixels, width, height, tmp_.data(), box.W, box.W, box.H);
      uint8_t* dst = base + static_cast<size_t>(box.Y) * s->pitch +
                     static_cast<size_t>(box.X) * s->format->BytesPerPixel;
      SDL_ConvertPixels(box.W, box.H, SDL_PIXELFORMAT_RGB888, tmp_.data(), box.W * 4, f, dst,
                        s->pitch);
    }
    if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
    int rc;
    if (whole) {
      rc = SDL_UpdateWindowSurface(w_);
    } else {
      const SDL_Rect r{box.X, box.Y + y0, box.W, y1 - y0};
      rc = SDL_UpdateWindowSurfaceRects(w_, &r, 1);
    }
    surface_ = s;
    sw_ = s->w;
    sh_ = s->h;
    full_ = rc != 0;
    return rc == 0;
  }

  SDL_Window* w_;
  int fw_, fh_;
  FrameScaler scaler_;
  std::vector<uint32_t> tmp_;
  SDL_Surface* surface_ = nullptr;
  int sw_ = 0, sh_ = 0;
  bool full_ = true;
};

// A GPU device node this process could open. Without one there is no hardware renderer,
// and probing for it would only load the OpenGL libraries for nothing.
bool HasGpuDevice() {
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator("/dev/dri", ec)) {
    const std::string n = e.path().filename().string();
    if (n.rfind("renderD", 0) == 0 || n.rfind("card", 0) == 0) return true;
  }
  return std::filesystem::exists("/dev/nvidia0", ec) || std::filesystem::exists("/dev/nvidiactl", ec);
}

// True when the renderer draws on a GPU: not SDL's software renderer, and not an OpenGL
// that is itself a software rasteriser.
bool IsHardware(SDL_Renderer* r) {
  SDL_RendererInfo info{};
  if (SDL_GetRendererInfo(r, &info) != 0) return false;
  if (!(info.flags & SDL_RENDERER_ACCELERATED) || std::strcmp(info.name, "software") == 0)
    return false;
  if (std::strncmp(info.name, "opengl", 6) != 0) return true;
  using GetString = const unsigned char* (*)(unsigned);
  auto get = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
  if (!get) return true;
  const unsigned char* name = get(0x1F01);  // GL_RENDERER
  if (!name) return true;
  const std::string s(reinterpret_cast<const char*>(name));
  for (const char* soft : {"llvmpipe", "softpipe", "Software Rasterizer", "swrast", "SWR"})
    if (s.find(soft) != std::string::npos) return false;
  return true;
}

std::unique_ptr<Presenter> MakeSurface(SDL_Window* w, int fw, int fh) {
  // SDL would otherwise back the window surface with a renderer texture, the very
  // software OpenGL this path avoids. It decides once, at the first window surface.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  return std::make_unique<SurfacePresenter>(w, fw, fh);
}

std::unique_ptr<Presenter> MakeRenderer(SDL_Window* w, int fw, int fh, bool requireHardware) {
  SDL_Renderer* r = SDL_CreateRenderer(w, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
  if (!r && !requireHardware) r = SDL_CreateRenderer(w, -1, SDL_RENDERER_SOFTWARE);
  if (!r) return nullptr;
  if (requireHardware && !IsHardware(r)) {
    SDL_DestroyRenderer(r);
    return nullptr;
  }
  auto p = std::make_unique<RendererPresenter>(r, fw, fh);
  if (!p->Ok()) return nullptr;
  return p;
}

}  // namespace

std::unique_ptr<Presenter> MakePresenter(SDL_Window* window, int frameWidth, int frameHeight) {
  const char* force = std::getenv("TINOKVAK_PRESENT");
  const std::string f = force ? force : "";
  if (f == "surface") return MakeSurface(window, frameWidth, frameHeight);
  if (f == "gpu") {
    if (auto p = MakeRenderer(window, frameWidth, frameHeight, false)) return p;
    std::fprintf(stderr, "No renderer (%s); presenting through the window surface.\n",
                 SDL_GetError());
    return MakeSurface(window, frameWidth, frameHeight);
  }
  if (!f.empty())
    std::fprintf(stderr, "TINOKVAK_PRESENT=%s is neither gpu nor surface; choosing by the machine.\n",
                 f.c_str());
  if (HasGpuDevice())
    if (auto p = MakeRenderer(window, frameWidth, frameHeight, true)) return p;
  return MakeSurface(window, frameWidth, frameHeight);
}

}  // namespace tk::platform
