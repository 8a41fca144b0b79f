// The part of tinokvak-sim that tinokvak-check shares: the game's private folder, the
// replay played back, its state lines and its verification. Nothing here draws a picture,
// measures a font or connects: the caller gives the platform its text and its requests.
#include <fstream>
#include <iostream>
#include <map>
#include <vector>
#include <nlohmann/json.hpp>

#include "AudioCapture.h"
#include "Sim.h"
#include "assembly/Assembly.h"
#include "assembly/StateLine.h"
#include "game/FeedingState.h"
#include "game/PondState.h"
#include "menus/MenuState.h"
#include "menus/Typing.h"
#include "online/Online.h"
#include "online/State.h"
#include "platform/Cp1251.h"
#include "platform/Text.h"
#include "shell/Replay.h"

namespace fs = std::filesystem;

namespace tk::sim {

namespace {

// fs::copy(from, to, recursive). The browser build's standard library copies a file a
// byte at a time through stream iterators, which under Node took most of the sim's start
// (near a second for the game folder): there it is copied in whole blocks. Links are
// followed as fs::copy follows them (a test's game folder may link the shipped one).
void CopyFolder(const fs::path& from, const fs::path& to) {
#ifdef __EMSCRIPTEN__
  fs::create_directories(to);
  std::vector<char> block(1 << 20);
  for (const auto& e : fs::directory_iterator(from)) {
    const fs::path dest = to / e.path().filename();
    const fs::file_status st = fs::status(e.path());  // through links, as fs::copy goes
    if (fs::is_directory(st)) {
      CopyFolder(e.path(), dest);
      continue;
    }
    if (!fs::is_regular_file(st)) continue;
    std::ifstream in(e.path(), std::ios::binary);
    std::ofstream out(dest, std::ios::binary);
    while (in) {
      in.read(block.data(), static_cast<std::streamsize>(block.size()));
      out.write(block.data(), in.gcount());
    }
    if (!in.eof() || !out) throw std::runtime_error("cannot copy " + e.path().string() + " to " + dest.string());
  }
#else
  fs::copy(from, to, fs::copy_options::recursive);
#endif
}

}  // namespace

Simulator::Simulator(const SimOptions& o, std::ostream& out,
                     std::unique_ptr<platform::IHttpRequests> http,
                     std::unique_ptr<platform::ITextRenderer> text)
    : opt_(o), out_(out), plat_(std::move(text), std::move(http)) {
  startDir_ = fs::current_path();
  // A private copy of the game folder, so the run never touches the real one.
  std::string tmpl = (fs::temp_directory_path() / "tinokvak-sim-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("cannot make a temporary folder");
  workDir_ = tmpl;
  if (!fs::is_directory(opt_.GameDir))
    throw std::runtime_error("no game folder at " + opt_.GameDir.string());
  if (opt_.ShareData) {
    for (const auto& e : fs::directory_iterator(opt_.GameDir)) {
      const fs::path to = workDir_ / e.path().filename();
      if (e.is_directory()) {
        fs::create_directory_symlink(fs::absolute(e.path()), to);
      } else if (e.is_regular_file() &&
                 (e.status().permissions() & fs::perms::owner_exec) == fs::perms::none) {
        fs::copy_file(e.path(), to);
      }
    }
  } else {
    CopyFolder(opt_.GameDir, workDir_);
  }
  if (!opt_.AudioFile.empty()) {
    audio_ = std::make_unique<AudioCapture>(opt_.AudioFile, platform::HeadlessAudio::Rate);
    plat_.Audio().Capture = [a = audio_.get()](const int16_t* s, int n) { a->Add(s, n); };
  }
  fs::current_path(workDir_);
  TMainFormOptions fo;
  fo.Seed = opt_.Seed;
  fo.RecordSounds = opt_.RecordSounds;
  fo.ScoreServer = opt_.Server.empty() ? DefaultScoreServer() : opt_.Server;
  form_ = CreateGame(plat_.Get(), fo);
  if (!opt_.RecordFile.empty()) {
    form_->Recorder->Enabled = true;
    form_->Recorder->OnFinished = [this](replay::TReplay&& r) {
      if (!recorded_) {
        // The game sends its finished replay as the game does, when a result was taken.
        online::UploadReplay(*form_, replay::WriteReplay(r));
        recorded_ = std::move(r);
      }
      form_->Recorder->Enabled = false;  // the first game only
    };
  }
}

Simulator::~Simulator() {
  form_.reset();
  plat_.Audio().Capture = nullptr;
  audio_.reset();
  std::error_code ec;
  fs::current_path(startDir_, ec);
  fs::remove_all(workDir_, ec);
}

void Simulator::PrintState() {
  auto& rec = plat_.Record();
  out_ << StateLine(*form_, plat_.Now(), {&rec.Messages, &rec.Opened, rec.FullScreen}, seen_)
       << std::endl;
}

// The end of a verification: the result the replayed game itself recorded at its name entry
// (the name as typed there, the score), on one line the server reads. The trailer must agree
// on the score, level and lives, but it is the game's own name entry that names the player.
int Simulator::VerifyEnd(const fs::path& path, const replay::TReplay& r,
                         const TReplayPlayer& player) {
  TMainForm& f = *form_;
  if (!player.EndedAsAWholeGame()) {
    std::cerr << path.string() << ": not a whole game: "
              << (player.Refusal().empty() ? "it does not end with its name entry"
                                           : player.Refusal())
              << "\n";
    return NotAWholeGame;
  }
  const auto& sent = f.Module<online::TOnlineState>();
  if (sent.SentScore != f.Score) {
    std::cerr << path.string() << ": not a whole game: no result was recorded at its end\n";
    return NotAWholeGame;
  }
  nlohmann::json j;
  j["score"] = f.Score;
  j["level"] = f.Level;
  j["lives"] = f.Lives;
  j["name"] = Cp1251ToUtf8(sent.SentName);
  out_ << j.dump() << "\n";
  if (f.Score != r.Trailer.Score || f.Level != r.Trailer.Level || f.Lives != r.Trailer.Lives) {
    std::cerr << path.string() << ": the replay ends differently from its trailer\n";
    return 1;
  }
  return 0;
}

int Simulator::Replay(const fs::path& file, bool check, bool verify) {
  if (verify) check = true;
  fs::path path = file.is_relative() ? startDir_ / file : file;
  replay::TReplay r;
  try {
    r = ReadReplayFile(path.string());
  } catch (const replay::EReplayError& e) {
    std::cerr << path.string() << ": " << e.what() << "\n";
    return ReplayRefused;
  }
  TMainForm& f = *form_;
  // A replay changes nothing outside itself: no settings written, nothing sent.
  f.Replaying = true;
  f.Hooks.SaveSettings = nullptr;
  plat_.Get().Http.reset();  // and nothing connects: the journal holds what the network said
  if (check) {
    f.SetComposing(false);
    f.Options.CheckOnly = true;
    plat_.RenderAudio = false;
  }
  if (!StartGame(f)) {
    for (auto& m : plat_.Record().Messages) std::cerr << Cp1251ToUtf8(m) << "\n";
    return 1;
  }
  // Checked once the game has loaded its data, which hashes it as it reads it.
  try {
    CheckReplayData(r);
  } catch (const replay::EReplayError& e) {
    std::cerr << path.string() << ": " << e.what() << "\n";
    return ReplayRefused;
  }
  if (r.GameVersion != replay::GameVersion())
    std::cerr << path.string() << ": recorded by version " << r.GameVersion << ", this is "
              << replay::GameVersion() << "\n";
  TReplayPlayer player(f, r);
  // A verification prints one short line and nothing else, however many marks the file has.
  if (!verify) player.OnMark = [this] { PrintState(); };
  player.WholeGame = verify;
  player.CheckTimers = check;
  player.Setup();
  while (!player.Done() && !f.Closed()) {
    plat_.AdvanceTo(player.NextClock());
    player.Step();
  }
  if (verify) return VerifyEnd(path, r, player);
  if (check && !player.Refusal().empty()) {
    std::cerr << path.string() << ": refused: " << player.Refusal() << "\n";
    return ReplayRefused;
  }
  PrintState();
  if (!check) return 0;
  std::string diff;
  auto compare = [&](const char* what, int32_t got, int32_t want) {
    if (got != want)
      diff += std::string(diff.empty() ? "" : ", ") + what + " " + std::to_string(got) +
              " (recorded " + std::to_string(want) + ")";
  };
  compare("score", f.Score, r.Trailer.Score);
  compare("level", f.Level, r.Trailer.Level);
  compare("lives", f.Lives, r.Trailer.Lives);
  if (diff.empty()) return 0;
  std::cerr << path.string() << ": the replay ends differently: " << diff << "\n";
  return 1;
}


}  // namespace tk::sim
