// The exceptions of the game's libraries, each with the English message it is known by.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace tk {

// what() is the message the player sees; where it was found (the file, the byte offset in
// it) travels beside it for stderr, filled in by whoever knows it on the way up.
class EError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  std::string File;
  std::optional<uint64_t> Offset;
  // "Data/Graphic.dxg: offset 1234: Stream read error"
  std::string FullMessage() const {
    std::string out;
    if (!File.empty()) out += File + ": ";
    if (Offset) out += "offset " + std::to_string(*Offset) + ": ";
    return out + what();
  }
};
#define TK_ERROR_CLASS(Name) \
  class Name : public EError { \
   public: \
    using EError::EError; \
  }
TK_ERROR_CLASS(EFOpenError);          // Cannot open file "%s". %s
TK_ERROR_CLASS(EInOutError);          // I/O error %d
TK_ERROR_CLASS(EReadError);           // Stream read error
TK_ERROR_CLASS(EFilerError);          // Invalid stream format, Property %s does not exist, Invalid property value
TK_ERROR_CLASS(EInvalidGraphic);      // DIB is invalid, Unknown picture file extension (.%s)
TK_ERROR_CLASS(EPictureCollectionError);  // Image '%s' not found, %s cannot be initialized
TK_ERROR_CLASS(EWaveCollectionError);     // Wave '%s' not found
TK_ERROR_CLASS(EWaveError);           // Wave is invalid
TK_ERROR_CLASS(ESpriteError);         // Index of the list exceeds the range. (%d)
TK_ERROR_CLASS(EConvertError);        // '%s' is not a valid integer value
#undef TK_ERROR_CLASS

}  // namespace tk
