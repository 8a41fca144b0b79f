#include "assembly/StateLine.h"

#include <map>
#include <nlohmann/json.hpp>

#include "game/FeedingState.h"
#include "game/PondState.h"
#include "menus/MenuState.h"
#include "menus/Typing.h"
#include "online/State.h"
#include "platform/Cp1251.h"

namespace tk {

namespace {

const char* CursorName(platform::Cursor c) {
  switch (c) {
    case platform::Cursor::Arrow: return "arrow";
    case platform::Cursor::Hand: return "hand";
    case platform::Cursor::IBeam: return "ibeam";
    case platform::Cursor::Hidden: return "hidden";
  }
  return "arrow";
}

}  // namespace

std::string StateLine(const TMainForm& cf, uint64_t t, const TStateRecord& record, TStateSeen& seen) {
  using nlohmann::json;
  auto& f = const_cast<TMainForm&>(cf);  // the sprite engine is read through its owner
  static const std::vector<std::string> none;
  const auto& messages = record.Messages ? *record.Messages : none;
  const auto& opened = record.Opened ? *record.Opened : none;
  json j;
  j["t"] = t;
  j["scene"] = SceneName(f.CurrentScene);
  j["caption"] = Cp1251ToUtf8(f.Caption());
  j["cursor"] = CursorName(f.Cursor());
  j["closed"] = f.Closed();
  json msgs = json::array(), open = json::array(), sounds = json::array();
  for (size_t i = seen.Messages; i < messages.size(); ++i) msgs.push_back(Cp1251ToUtf8(messages[i]));
  for (size_t i = seen.Opened; i < opened.size(); ++i) open.push_back(opened[i]);
  for (size_t i = seen.Sounds; i < f.SoundLog.size(); ++i) sounds.push_back(f.SoundLog[i]);
  seen.Messages = messages.size();
  seen.Opened = opened.size();
  seen.Sounds = f.SoundLog.size();
  j["messages"] = msgs;
  j["opened"] = open;
  j["sounds"] = sounds;
  const std::string track = f.CurrentTrack();
  j["music"] = track.empty() ? json(nullptr) : json(track);
  std::map<std::string, int> counts;
  for (int i = 0; i < f.Engine().ChildCount(); ++i)
    if (!f.Engine().Children(i)->Killed()) ++counts[f.Engine().Children(i)->ClassName()];
  j["sprites"] = counts;
  j["flags"] = {{"GameFullScreen", f.GameFullScreen}, {"GameSound", f.GameSound},
                {"GameMusic", f.GameMusic},           {"GameMainExit", f.GameMainExit},
                {"GameEnterName", f.GameEnterName},   {"GameSendResult", f.GameSendResult},
                {"GamegoEdit", f.GamegoEdit},         {"GameClearHighScore", f.GameClearHighScore}};
  j["level"] = f.Level;
  j["score"] = f.Score;
  j["lives"] = f.Lives;
  const auto& pond = f.Module<game::TPondState>();
  j["hunger"] = pond.Hunger;
  j["timeLeft"] = f.Module<game::TFeedingState>().TimeLeft;
  j["paused"] = f.Paused;
  j["frogColumn"] = pond.FrogColumn;
  j["frogFacing"] = pond.FrogFacing;
  // The pond's lily kinds, rows -1..4 top to bottom, columns 1..4.
  json grid = json::array();
  for (auto& row : pond.LilyGrid) {
    json r = json::array();
    for (auto& cell : row) r.push_back(cell.LilyKind);
    grid.push_back(r);
  }
  j["lilyGrid"] = grid;
  j["helpPage"] = f.Module<menus::TMenuState>().HelpPage;
  json hs = json::array();
  for (auto& r : f.HighScores) hs.push_back({{"name", Cp1251ToUtf8(r.Name)}, {"score", r.Score}});
  j["highScores"] = hs;
  j["playerName"] = Cp1251ToUtf8(f.Module<online::TOnlineState>().Edit2);
  j["playerCountry"] = Cp1251ToUtf8(f.Module<menus::TTyping>().Edit1);
  j["fullScreen"] = record.FullScreen;
  return j.dump();
}

}  // namespace tk
