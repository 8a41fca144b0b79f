// A version reply from a server the game cannot trust. The token is the fifth "|" field
// (or empty), never holds a bar, and the result built with it is padded and encoded so the
// server decodes exactly what the game meant to send.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/Protocol.h"
#include "protocol/Codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view reply(reinterpret_cast<const char*>(data), size);
  const std::string token = tk::online::ResultTokenOf(reply);
  if (token.find('|') != std::string::npos || token.size() > reply.size()) __builtin_trap();

  // The same fields split the plain way: with five or more bars the token is the fifth
  // field; with fewer, empty.
  std::vector<std::string_view> fields;
  std::string_view rest = reply;
  for (size_t bar; (bar = rest.find('|')) != std::string_view::npos; rest.remove_prefix(bar + 1))
    fields.push_back(rest.substr(0, bar));
  if (token != (fields.size() >= 5 ? std::string(fields[4]) : std::string())) __builtin_trap();

  if (reply.compare(0, 2, "OK") != 0) return 0;  // the game shows its message and stops
  const std::string payload = tk::online::PadPayload(
      tk::online::ResultPayload("Kot", 2750, token, "\xD0\xF3\xF1\xFC"));
  if (payload.size() % 5 != 0) __builtin_trap();
  const std::string symbols = tk::EncodeText(payload);
  if (symbols.size() != payload.size() * 8 / 5) __builtin_trap();
  if (symbols.find_first_not_of(tk::EncodingAlphabet) != std::string::npos) __builtin_trap();
  if (tk::DecodeText(symbols) != payload) __builtin_trap();
  return 0;
}
