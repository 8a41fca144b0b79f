// tinokvak-scores: a reference score server for the game's online table.
//   tinokvak-scores [--listen ADDRESS] [--port N] [--db FILE]
// Listens on loopback port 8642 by default, the address the game is built with. Port 0
// takes any free port; the line "listening on http://ADDRESS:PORT" tells which.
#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <thread>

#include "ScoreService.h"

namespace {

constexpr const char* kUsage = "usage: tinokvak-scores [--listen ADDRESS] [--port N] [--db FILE]\n";

struct TOptions {
  std::string Listen = "127.0.0.1";
  int Port = 8642;
  std::string Db = "tinokvak-scores.db";
};

bool ParseArgs(int argc, char** argv, TOptions& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    }
    if (i + 1 >= argc) return false;
    const std::string v = argv[++i];
    if (a == "--listen") {
      o.Listen = v;
    } else if (a == "--port") {
      char* end = nullptr;
      const long p = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || p < 0 || p > 65535) return false;
      o.Port = static_cast<int>(p);
    } else if (a == "--db") {
      o.Db = v;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions o;
  if (!ParseArgs(argc, argv, o)) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  // The signals are taken by sigwait below; the server's threads inherit the mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  try {
    tk::scores::TScoreStore store(o.Db);
    tk::scores::TScoreService service(store);

    httplib::Server server;
    server.set_payload_max_length(4096);
    server.set_read_timeout(5, 0);
    server.set_write_timeout(5, 0);
    server.set_keep_alive_max_count(20);
    server.Get(R"(/.*)", [&service](const httplib::Request& req, httplib::Response& res) {
      // The target as sent: the query is checked as the game wrote it.
      const std::string& target = req.target;
      const size_t q = target.find('?');
      const std::string_view path = std::string_view(target).substr(0, q);
      const std::string_view query =
          q == std::string::npos ? std::string_view() : std::string_view(target).substr(q + 1);
      const tk::scores::TReply r = service.Handle(path, query);
      res.status = r.Status;
      res.set_header("Cache-Control", "no-store");
      res.set_content(r.Body, r.ContentType.c_str());
    });

    int port = o.Port;
    if (port == 0) {
      port = server.bind_to_any_port(o.Listen);
      if (port < 0) port = 0;
    } else if (!server.bind_to_port(o.Listen, port)) {
      port = 0;
    }
    if (port <= 0) {
      std::fprintf(stderr, "tinokvak-scores: cannot listen on %s:%d\n", o.Listen.c_str(), o.Port);
      return 1;
    }
    std::printf("listening on http://%s:%d\n", o.Listen.c_str(), port);
    std::fflush(stdout);

    std::atomic<bool> loopEnded{false};
    std::thread loop([&server, &loopEnded] {
      server.listen_after_bind();
      loopEnded = true;
    });
    int sig = 0;
    sigwait(&stopSignals, &sig);
    // A stop that arrives before the loop runs would be lost and the loop would never end.
    while (!loopEnded && !server.is_running())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server.stop();
    loop.join();
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tinokvak-scores: %s\n", e.what());
    return 1;
  }
}
