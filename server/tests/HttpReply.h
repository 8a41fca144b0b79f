// Reading a raw HTTP reply in the server's tests: its status, a header, its body.
#pragma once

#include <string>

namespace tk::testing {

inline std::string Header(const std::string& reply, const std::string& name) {
  const size_t end = reply.find("\r\n\r\n");
  const size_t at = reply.substr(0, end).find("\r\n" + name + ": ");
  if (at == std::string::npos) return "";
  const size_t from = at + name.size() + 4;
  return reply.substr(from, reply.find("\r\n", from) - from);
}
inline std::string Body(const std::string& reply) { return reply.substr(reply.find("\r\n\r\n") + 4); }
inline std::string Status(const std::string& reply) { return reply.substr(9, 3); }

}  // namespace tk::testing
