// tinokvak-sim: the game on the headless platform, driven by a script in virtual time.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "platform/headless/Headless.h"
#include "shell/MainForm.h"

namespace tk::sim {

struct SimOptions {
  uint32_t Seed = 1;
  std::filesystem::path GameDir;
  std::string Server;
};

class Simulator {
 public:
  Simulator(const SimOptions& o, std::ostream& out);
  ~Simulator();
  // Runs the whole script; returns the exit status (0, or 1 after printing an error).
  int Run(std::istream& script);
  // One command line; throws std::runtime_error for an unknown or malformed command.
  void Execute(const std::string& line);
  bool Finished() const;

 private:
  void Advance(uint64_t ms);
  void Deliver();
  void PrintState();
  void Shot(const std::string& file);

  SimOptions opt_;
  std::ostream& out_;
  std::filesystem::path startDir_, workDir_;
  platform::HeadlessPlatform plat_;
  std::unique_ptr<TMainForm> form_;
  size_t seenMessages_ = 0, seenOpened_ = 0, seenSounds_ = 0;
};

}  // namespace tk::sim
