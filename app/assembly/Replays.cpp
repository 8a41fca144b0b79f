#include "assembly/Replays.h"

#include <cstdio>
#include <ctime>

#include "online/Online.h"
#include "platform/Cp1251.h"
#include "replay/ReplayStore.h"
#include "shell/Replay.h"

namespace tk {

void RecordGamesIntoReplays(TMainForm& form) {
  form.Recorder->Enabled = true;
  form.Recorder->OnFinished = [&form](replay::TReplay&& r) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const auto folder = online::SettingsFilePath(form).parent_path() / "Replays";
    // Complete with its trailer: it is kept and sent as it is.
    const std::string bytes = replay::WriteReplay(r);
    const replay::TStoreResult res =
        replay::StoreReplay(folder, bytes, local, r.Trailer.Score, r.Trailer.EnteredTable);
    if (!res.Ok)
      std::fprintf(stderr, "%s: the replay of this game was not saved: %s\n",
                   Cp1251ToUtf8(Cp("Тиноквак")).c_str(), res.Error.c_str());
    online::UploadReplay(form, bytes);
  };
}

}  // namespace tk
