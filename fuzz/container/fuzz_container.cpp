// Archives from outside: the image library's loader with upload and a few draws of every
// item, and a generic walk of any component stream that skips every value (the path other
// archive kinds build on).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "media/Container.h"
#include "media/DXDraw.h"
#include "media/PictureCollection.h"
#include "platform/Errors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // One display for the whole run: bringing it up allocates the 800 x 600 back surface.
  static tk::platform::OffscreenDisplay screen;
  static tk::TDXDraw draw(screen);
  if (!draw.Initialized()) draw.Initialize();
  try {
    tk::TPictureCollection c;
    c.AttachDisplay(&draw);
    c.LoadFromBytes(bytes);  // uploads, the display being up
    c.BuildColorTable();
    tk::TSurface dest(48, 32);
    for (int i = 0; i < c.Count(); ++i) {
      auto& it = c.Items(i);
      c.FindImage(it.Name());
      const int n = it.CountPatterns();
      for (int k = -1; k < n && k < 3; ++k) {
        it.DrawPattern(dest, -3, 5, k);
        it.DrawPatternStretched(dest, {-10, 2, 30, 40}, k);
        it.DrawPatternAdd(dest, {5, -5, 9, 9}, k, 200);
        it.DrawPatternRotated(dest, 20, 15, it.CellWidth(), it.CellHeight(), k, 0.5, 0.5, 37);
      }
    }
  } catch (const tk::EError&) {
  }
  try {
    tk::TComponentReader r(bytes);
    r.ReadRootProperties([](tk::TStreamReader& s, std::string_view) { s.SkipValue(); });
  } catch (const tk::EError&) {
  }
  return 0;
}
