// What every program of the game answers alike: --help and --version.
#pragma once

namespace tk {

// The game's version, as the build was made.
const char* GameVersion();

// When an argument is --help or --version, prints the usage (to stdout, ending in a
// newline) or "PROGRAM VERSION" and returns true: the caller then exits with 0.
bool AnswersHelpOrVersion(int argc, char** argv, const char* program, const char* usage);

}  // namespace tk
