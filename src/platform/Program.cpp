#include "platform/Program.h"

#include <cstdio>
#include <cstring>

#ifndef TK_VERSION
#error "the build names the version"
#endif

namespace tk {

const char* GameVersion() { return TK_VERSION; }

bool AnswersHelpOrVersion(int argc, char** argv, const char* program, const char* usage) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(usage, stdout);
      return true;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("%s %s\n", program, GameVersion());
      return true;
    }
  }
  return false;
}

}  // namespace tk
