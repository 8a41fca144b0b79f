// A small HTTP server on 127.0.0.1 for tests of the game's requests: it answers each request
// with what the test's handler returns, and the handler may hold a reply until the test lets
// it go (Release). It serves one connection at a time and stops by itself when the object
// goes away, or at the latest after a minute.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tk::testing {

class LoopbackServer {
 public:
  struct Request {
    std::string Line;  // "GET /path HTTP/1.1"
    std::string Body;
  };
  // The reply's body; the status is 200.
  using Handler = std::function<std::string(const Request&)>;

  // With listenOnly, no thread is started: a forked child can connect to the socket while
  // the parent answers by hand (Accept).
  explicit LoopbackServer(Handler handler, bool listenOnly = false)
      : handler_(std::move(handler)) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd_, 8);
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    if (!listenOnly) thread_ = std::thread([this] { Serve(); });
  }
  ~LoopbackServer() {
    Release();
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (held_fd_ >= 0) close(held_fd_);
    close(fd_);
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  int Requests() const { return requests_; }

  // Called from a handler: waits until the test releases the held replies (or stops).
  void Hold() {
    std::unique_lock lock(m_);
    held_ = true;
    heldCv_.notify_all();
    cv_.wait(lock, [this] { return released_ || stop_; });
  }
  // Waits (bounded) until a handler holds a reply; false when none did within 20 s.
  bool WaitHeld() {
    std::unique_lock lock(m_);
    return heldCv_.wait_for(lock, std::chrono::seconds(20), [this] { return held_; });
  }
  void Release() {
    std::lock_guard lock(m_);
    released_ = true;
    cv_.notify_all();
  }

  // Accepts one connection and reads one request from it (listen-only use); the
  // connection stays open, unanswered, until the server goes away. Empty Line on timeout.
  Request AcceptOne(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return {};
    held_fd_ = accept(fd_, nullptr, nullptr);
    return ReadRequest(held_fd_);
  }

 private:
  static Request ReadRequest(int c) {
    std::string in;
    char buf[4096];
    size_t headerEnd = std::string::npos;
    size_t want = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < end) {
      if (headerEnd != std::string::npos && in.size() >= headerEnd + 4 + want) break;
      pollfd p{c, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      const ssize_t n = recv(c, buf, sizeof buf, 0);
      if (n <= 0) break;
      in.append(buf, static_cast<size_t>(n));
      if (headerEnd == std::string::npos && (headerEnd = in.find("\r\n\r\n")) != std::string::npos) {
        const size_t cl = in.find("Content-Length: ");
        if (cl != std::string::npos && cl < headerEnd) want = std::stoul(in.substr(cl + 16));
      }
    }
    Request r;
    if (headerEnd == std::string::npos) return r;
    r.Line = in.substr(0, in.find("\r\n"));
    r.Body = in.substr(headerEnd + 4, want);
    return r;
  }

  void Serve() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!stop_ && std::chrono::steady_clock::now() < deadline) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      const int c = accept(fd_, nullptr, nullptr);
      if (c < 0) continue;
      const Request req = ReadRequest(c);
      if (!req.Line.empty()) {
        ++requests_;
        const std::string body = handler_(req);
        const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: " +
                                  std::to_string(body.size()) +
                                  "\r\nConnection: close\r\n\r\n" + body;
        send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
      }
      close(c);
    }
  }

  Handler handler_;
  int fd_ = -1, held_fd_ = -1;
  int port_ = 0;
  std::atomic<int> requests_{0};
  std::atomic<bool> stop_{false};
  std::mutex m_;
  std::condition_variable cv_, heldCv_;
  bool held_ = false, released_ = false;
  std::thread thread_;
};

}  // namespace tk::testing
