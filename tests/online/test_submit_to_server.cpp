// The game's submission answered by the score server's own request handling (no socket):
// what the game sends is what the server stores.

#include <cstdlib>
#include <memory>
#include <string>

#include "OnlineFixture.h"
#include "ScoreService.h"
#include "platform/Cp1251.h"
#include "support/TestStore.h"

namespace tk::testing {
namespace {

namespace vk = platform::vk;
using scores::TReply;
using scores::TScoreService;
using scores::TScoreStore;

struct Server {
  Server() : store(OpenTestStore(dir)), service(*store, [this] { return now; }) {}
  TempGameDir dir;
  int64_t now = 1700000000;
  std::unique_ptr<TScoreStore> store;
  TScoreService service;
};

TEST(SubmitToServer, TheServerStoresTheResultTheGameSends) {
  Server server;
  OnlineGame g;
  TSettings s;
  s.PlayerCountry = Cp("Россия");
  g.WriteSettings(s);
  // The game's requests go straight to the service.
  g.http->Reply = [&](const std::string& url) {
    const std::string prefix = "http://127.0.0.1:8642";
    EXPECT_EQ(url.rfind(prefix, 0), 0u);
    const std::string target = url.substr(prefix.size());
    const size_t q = target.find('?');
    const TReply r = server.service.Handle(target.substr(0, q), target.substr(q + 1));
    return platform::HttpResult{r.Status >= 200 && r.Status < 300, r.Status, r.Body, ""};
  };
  g.Start();
  g.GameOver(2750);
  g.Type("Петя");
  g.Click(264, 386);
  g.Frames(1);
  g.Key(vk::Enter);
  g.Frames(3);  // each answer is picked up at an idle step of its own
  ASSERT_EQ(g.http->Urls.size(), 2u);
  EXPECT_TRUE(g.shell->Boxes.empty());
  const auto best = server.store->Best(10);
  ASSERT_EQ(best.size(), 1u);
  EXPECT_EQ(best[0].Name, "Петя");
  EXPECT_EQ(best[0].Score, 2750);
  EXPECT_EQ(best[0].Country, "Россия");
  EXPECT_EQ(best[0].Time, server.now);
  // The token went with it.
  EXPECT_EQ(server.store->OpenTokens(), 0);
}

}  // namespace
}  // namespace tk::testing
