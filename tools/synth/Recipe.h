// Sound recipes as JSON: one object per sound (assets/sounds/<name>.json). Unknown keys
// are errors, so a misspelt setting cannot silently fall back to a default.
#pragma once

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "Synth.h"

namespace tk::synth {

// Throws std::runtime_error naming the offending key.
Layer ParseLayer(const nlohmann::json& j, bool looped);
// Fills the sound-level settings and the layers. `extraKeys` are accepted and left to the
// caller (the music's instruments carry their own settings in the same object).
Recipe ParseRecipe(const nlohmann::json& j, const std::string& name,
                   const std::vector<std::string>& extraKeys = {});
// The recipe in a file; its name is the file name without ".json".
Recipe LoadRecipe(const std::filesystem::path& file);

}  // namespace tk::synth
