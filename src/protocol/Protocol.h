// What the game and the score server agree on: the two requests, the version reply that
// carries a one-time token, and the submitted result, a "|"-separated text padded with "0"
// to a multiple of five bytes so that the five-bit encoding adds no bits to strip.
// Header-only; the score server links this library and no part of the game.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tk::online {

inline constexpr std::string_view VersionRequest = "/cgi/version.pl?version&prg=Pondlark";
inline constexpr std::string_view SubmitRequest = "/cgi/version.pl?hs&prg=Pondlark&inf=";
// The replay of the game just sent goes here by POST, with the result's token after it.
inline constexpr std::string_view ReplayUploadRequest = "/cgi/replay.pl?prg=Pondlark&p=";
inline constexpr std::string_view ScorePageRequest = "/cgi/version.pl?prg=Pondlark&type=0&show";

// The fixed key letter every submission carries; the server refuses any other.
inline constexpr char ScoreKey = 'T';

// Server address plus path, without a doubled slash.
inline std::string ServerUrl(std::string_view server, std::string_view pathAndQuery) {
  while (!server.empty() && server.back() == '/') server.remove_suffix(1);
  return std::string(server) + std::string(pathAndQuery);
}

// The fifth "|"-separated field from the front of a version reply ("OK" is the first).
// Each step takes the text before the first bar and keeps the text after it; without a
// bar the field is empty and the remainder stays as it was.
inline std::string ResultTokenOf(std::string_view reply) {
  std::string_view rest = reply, field;
  for (int i = 0; i < 5; ++i) {
    const size_t bar = rest.find('|');
    if (bar == std::string_view::npos) {
      field = {};
    } else {
      field = rest.substr(0, bar);
      rest.remove_prefix(bar + 1);
    }
  }
  return std::string(field);
}

// The submitted text before padding; name and country are Windows-1251.
inline std::string ResultPayload(std::string_view name, int32_t score, std::string_view token,
                                 std::string_view country) {
  std::string p = "type=0|name=";
  p += name;
  p += "|score=" + std::to_string(score);
  p += "|key=";
  p += ScoreKey;
  p += "|p=";
  p += token;
  p += "|add=";
  p += country;
  p += "|z=";
  return p;
}

// "0" after the empty last field up to a multiple of five bytes.
inline std::string PadPayload(std::string payload) {
  while (payload.size() % 5 != 0) payload += '0';
  return payload;
}

}  // namespace tk::online
