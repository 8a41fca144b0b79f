// tinokvak-sim: the game on the headless platform, driven by a script in virtual time.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "assembly/StateLine.h"
#include "platform/headless/Headless.h"
#include "replay/ReplayFile.h"
#include "shell/Replay.h"
#include "shell/MainForm.h"

namespace tk::sim {

class AudioCapture;

struct SimOptions {
  uint32_t Seed = 1;
  std::filesystem::path GameDir;
  std::string Server;
  bool RecordSounds = true;  // off for soak runs, whose sound log would only grow
  std::string AudioFile;     // --audio: the mixed output goes there as a WAV file
  std::string RecordFile;    // the first game of the run is recorded into it
  std::string TraceFile;     // --trace: a soak run's digest of every tick goes there
  // A replay only reads the game's data: its folders are linked into the private copy
  // rather than copied, and the game's program is left out.
  bool ShareData = false;
};

// Exit status of a replay that was refused (another format version, other game data, a
// damaged file).
constexpr int ReplayRefused = 2;
// Exit status of a verification whose replay is no whole game played from the main menu to
// its name entry (TReplayPlayer::WholeGame).
constexpr int NotAWholeGame = 3;

class Simulator {
 public:
  // On the headless platform with the desktop's text renderer and HTTP requests (Sim.cpp).
  Simulator(const SimOptions& o, std::ostream& out);
  // With the given ones (SimReplay.cpp, which is all tinokvak-check links of this class).
  Simulator(const SimOptions& o, std::ostream& out, std::unique_ptr<platform::IHttpRequests> http,
            std::unique_ptr<platform::ITextRenderer> text);
  ~Simulator();
  // Runs the whole script; returns the exit status (0, or 1 after printing an error).
  int Run(std::istream& script);
  // One command line; throws std::runtime_error for an unknown or malformed command.
  void Execute(const std::string& line);
  bool Finished() const;
  // Plays the game with seeded random input for the given ticks and prints a JSON report;
  // with a shot folder, saves one picture of each scene the first time it settles and one
  // of the busiest feeding stage, scaled to the given size when there is one.
  // Returns 0, or 1 when the game reported an error, closed, stalled or kept sprites.
  // Plays a recorded game back: a state line at each point where the recorded run printed
  // one, then the final state line. With check, nothing is drawn or mixed and the result
  // must equal the file's: 0 when it does, 1 (with what differed on stderr) when not.
  // A file that must be refused prints why on stderr and returns ReplayRefused.
  // With verify, the replay must also be one whole game from the main menu to its name entry
  // (else NotAWholeGame), and the only line printed is the result that game recorded:
  // {"score", "level", "lives", "name"} (the name as typed, UTF-8).
  int Replay(const std::filesystem::path& file, bool check, bool verify = false);
  int Soak(uint64_t ticks, uint32_t seed, const std::string& shotDir, int shotWidth = 0,
           int shotHeight = 0);

 private:
  void Advance(uint64_t ms);
  void Deliver();
  void PrintState();
  int VerifyEnd(const std::filesystem::path& path, const replay::TReplay& r,
                const TReplayPlayer& player);
  void PrintPeek();
  void Shot(const std::string& file, int width = 0, int height = 0);

  SimOptions opt_;
  std::ostream& out_;
  std::filesystem::path startDir_, workDir_;
  platform::HeadlessPlatform plat_;
  std::unique_ptr<AudioCapture> audio_;  // before the game, so it outlives the last mix
  std::unique_ptr<TMainForm> form_;
  TStateSeen seen_;  // what the state lines have reported
  std::optional<replay::TReplay> recorded_;
};

}  // namespace tk::sim
