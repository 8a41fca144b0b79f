// tinokvak --replay URL: a replay fetched from a web address (a verified game's
// /replays/ID on the score server, or any http or https address) with the game's own HTTP
// client, into memory.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/HttpRequests.h"

namespace tk {

// True for an http:// or https:// address (any case), which --replay fetches instead of
// reading a file.
bool IsReplayAddress(const std::string& arg);

// The largest replay fetched: what the score server takes as a replay upload.
constexpr size_t kMaxReplayDownload = 1u << 20;

class EReplayDownload : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The replay's bytes at url, fetched with http within its time limits (a connection within
// 5 s, the whole reply within 10 s). Throws EReplayDownload saying what went wrong: no
// connection, no such replay (404), another status, an empty reply, or one larger than
// kMaxReplayDownload. Whether the bytes are a replay is the reader's to say.
std::string DownloadReplay(platform::IHttpRequests& http, const std::string& url);

}  // namespace tk
