// The whole game on the headless platform in a temporary folder with the menus' small
// archives, a scripted HTTP client and a shell that keeps each message box's style. The
// pond, the feeding stage and the exit screen are blanked; a game ends by a switch to the
// game-over scene, whose banner and five-second Timer1 are the play scenes' own.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <memory>
#include <string>
#include <vector>

#include "menus/MenuFixture.h"
#include "online/State.h"
#include "persist/Settings.h"
#include "platform/Files.h"

namespace tk::testing {

// Answers each GET with what the test says and keeps the addresses asked for. A request
// finishes at the first poll after its start, as a fast server's would; a Reply that throws
// stands for a transport failure.
class ScriptedHttp : public platform::IHttpRequests {
 public:
  platform::RequestId Start(platform::HttpRequest req) override {
    if (req.Post)
      Posts.push_back({req.Url, req.Body});
    else
      Urls.push_back(req.Url);
    if (OnStart) OnStart(req);
    started_.push_back({next_, std::move(req)});
    return next_++;
  }
  std::vector<platform::HttpCompletion> Poll() override {
    ++Polls;
    std::vector<platform::HttpCompletion> out;
    for (auto& [id, req] : std::exchange(started_, {})) out.push_back({id, Answer(req)});
    return out;
  }
  void Cancel(platform::RequestId id) override {
    std::erase_if(started_, [id](const auto& s) { return s.first == id; });
  }
  bool Idle() const { return started_.empty(); }

  std::vector<std::string> Urls;
  std::function<platform::HttpResult(const std::string&)> Reply;
  // A POST is kept with its body and answered by PostReply.
  std::vector<std::pair<std::string, std::string>> Posts;
  std::function<platform::HttpResult(const std::string&, const std::string&)> PostReply;
  int Polls = 0;
  std::function<void(const platform::HttpRequest&)> OnStart;

 private:
  platform::HttpResult Answer(const platform::HttpRequest& req) {
    try {
      if (req.Post) return PostReply ? PostReply(req.Url, req.Body) : platform::HttpResult{};
      return Reply ? Reply(req.Url) : platform::HttpResult{};  // none: no connection
    } catch (const std::exception& e) {
      platform::HttpResult r;
      r.Error = e.what();
      return r;
    }
  }
  std::vector<std::pair<platform::RequestId, platform::HttpRequest>> started_;
  platform::RequestId next_ = 1;
};

struct MessageBoxCall {
  std::string Text, Caption;  // Windows-1251
  platform::MessageStyle Style;
};

class RecordingShell : public platform::IShell {
 public:
  explicit RecordingShell(std::unique_ptr<platform::IShell> inner) : inner_(std::move(inner)) {}
  void Open(const std::string& target) override { inner_->Open(target); }
  void Spawn(const std::string& program, const std::vector<std::string>& args) override {
    inner_->Spawn(program, args);
  }
  void MessageBox(const std::string& text, const std::string& caption,
                  platform::MessageStyle style) override {
    Boxes.push_back({text, caption, style});
    inner_->MessageBox(text, caption, style);
  }
  std::vector<MessageBoxCall> Boxes;

 private:
  std::unique_ptr<platform::IShell> inner_;
};

// The menus' small archives plus the game-over banner's two pictures.
inline void WriteOnlineArchives(TempGameDir& d) {
  WriteMenuArchives(d);
  TPictureCollection pics;
  pics.LoadFromBytes(ReadWholeFile("Data\\Graphic.dxg"));
  for (const char* name : {"Game_Word", "Over_Word"}) {
    auto& it = pics.Add();
    it.SetName(name);
    it.Picture.ClassName = "TDIB";
    it.Picture.Width = 40;
    it.Picture.Height = 20;
    it.Picture.Pixels.assign(800, 0x203040u);
  }
  d.Write("Data/Graphic.dxg", pics.SaveToBytes());
}

class OnlineGame : public HeadlessGame {
 public:
  OnlineGame() {
    WriteOnlineArchives(dir);
    RecordTexts();
    auto h = std::make_unique<ScriptedHttp>();
    http = h.get();
    plat.Get().Http = std::move(h);
    auto s = std::make_unique<RecordingShell>(std::move(plat.Get().Shell));
    shell = s.get();
    plat.Get().Shell = std::move(s);
    TMainFormOptions o;
    o.Seed = 7;
    o.RecordSounds = true;
    o.ScoreServer = "http://127.0.0.1:8642";
    form = CreateGame(plat.Get(), o);
    // The play scenes and the exit screen build and draw nothing here.
    for (uint8_t id : {ScenePond, SceneFeeding, SceneExitScreen}) {
      form->Scenes[id].Build = nullptr;
      form->Scenes[id].Tick = nullptr;
      form->Scenes[id].Timer1 = nullptr;
    }
  }

  // Start-up as the program runs it (the settings file is read here).
  void Start() {
    form->FormCreate();
    form->Show();
  }

  // A game ends with `score`; with `waitBanner` the banner's five seconds pass.
  void GameOver(int32_t score, bool waitBanner = true) {
    form->SwitchScene(SceneMainMenu);
    form->SwitchScene(ScenePond);  // a new game: level 1, score 0, three lives
    form->Score = score;
    form->Lives = 0;
    form->SwitchScene(SceneGameOver);
    Frames(1);
    if (waitBanner) Run(5000);
  }

  // Typed characters, given in UTF-8.
  void Type(const std::string& utf8) {
    for (char c : Utf8ToCp1251(utf8)) form->OnChar(static_cast<uint8_t>(c));
  }
  online::TOnlineState& Online() { return form->Module<online::TOnlineState>(); }
  menus::TTyping& Typing() { return form->Module<menus::TTyping>(); }
  std::string Name() { return Cp1251ToUtf8(Online().Edit2); }

  // Config.cfg as the game would read it back.
  TSettings SavedSettings() {
    TSettings s;
    std::string error;
    EXPECT_TRUE(ReadSettings(ReadWholeFile("Config.cfg"), s, error)) << error;
    return s;
  }
  void WriteSettings(const TSettings& s) { dir.Write("Config.cfg", ::tk::WriteSettings(s)); }

  ScriptedHttp* http = nullptr;
  RecordingShell* shell = nullptr;
};


}  // namespace tk::testing
