#include "game/Game.h"

#include "game/Feeding.h"
#include "game/FeedingState.h"
#include "game/Pond.h"
#include "game/PondState.h"

namespace tk::game {

void Register(TMainForm& form) {
  auto& pond = form.AddModule<TPondState>();
  auto& feeding = form.AddModule<TFeedingState>();
  RegisterPond(form, pond, feeding);
  RegisterFeeding(form, feeding, pond);
}

}  // namespace tk::game
