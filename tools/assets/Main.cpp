// tinokvak-assets: turns the picture sources of assets/ into the game's data files.
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

#include "ExitScreen.h"
#include "Graphics.h"
#include "Icon.h"

namespace {

int Usage() {
  std::cerr << "usage: tinokvak-assets graphics OUT.dxg MANIFEST_DIR\n"
               "       tinokvak-assets --preview DIR MANIFEST_DIR\n"
               "       tinokvak-assets exitscreen OUTDIR SRCDIR\n"
               "       tinokvak-assets icon SVG OUTDIR\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return Usage();
  const std::string cmd = argv[1];
  try {
    if (cmd == "graphics") {
      tk::assets::BuildGraphics(argv[2], argv[3]);
    } else if (cmd == "--preview") {
      const int failures = tk::assets::PreviewGraphics(argv[2], argv[3], std::cerr);
      if (failures) {
        std::cerr << "tinokvak-assets: " << failures << " image(s) or manifest(s) failed\n";
        return 1;
      }
    } else if (cmd == "exitscreen") {
      tk::assets::BuildExitScreen(argv[2], argv[3]);
    } else if (cmd == "icon") {
      tk::assets::BuildIcon(argv[2], argv[3]);
    } else {
      return Usage();
    }
  } catch (const std::exception& e) {
    std::cerr << "tinokvak-assets: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
