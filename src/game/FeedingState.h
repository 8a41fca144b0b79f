// What the feeding stage keeps between ticks: its clock, the tongue and the stork.
#pragma once

#include <cstdint>

namespace tk::game {

struct TFeedingState {
  int32_t TimeLeft = 0;  // seconds; LevelTimer counts it down
  // The tongue's aim in degrees (180 straight up), kept every frame tick whatever the scene
  // (AimTongue); the up and down keys move AimAdjust.
  double AimAngle = 0, AimAdjust = 0;
  // Straight up until the pointer first moves in the stage.
  bool AimCentred = false;
  double TongueBaseX = 0, TongueBaseY = 0;
  int32_t TongueLift = 0, TongueLength = 0;
  // The head comes at most once a level: every pond built lets it come again.
  bool StorkAllowed = false, StorkLegsCalled = false, StorkLegsDown = false,
       StorkLeaving = false;
};

}  // namespace tk::game
