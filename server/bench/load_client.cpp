// tinokvak-scores-load: the score server's load generator. One thread drives every client
// on its own event loop, with the requests' fixed parts built once, so the clients cost the
// box little beside the servers they measure (their CPU time is printed with the figures).
//
//   tinokvak-scores-load --ports P[,P...] [--mode submit|tokens|upload|probe] [--clients N]
//                        [--seconds S] [--source ADDRESS] [--replay FILE] [--score N]
//                        [--pause-after-503 MS]
//
//   submit  each client, on one kept connection, asks for a token and sends a result with
//           it, again and again: results, and the time of each request;
//   tokens  each client, on one kept connection, asks for tokens in a loop;
//   upload  each client, on a new connection each time, asks for a token, sends a result
//           with the replay's score and uploads the replay; with --pause-after-503 MS it
//           waits that long after a 503 (as the game waits to send again), else not at all;
//   probe   a normal player: a token and a result on a new connection every 100 ms, the
//           time of the two together.
// Clients go round the ports. --source is the first client's address (127.0.2.1 by
// default); with "+" after it (127.0.2.1+) each client takes the next address, so each
// has an address of its own. Prints one JSON line.
#include <sys/resource.h>

#include <utility>  // Asio 1.74 uses std::exchange without including it

#include <algorithm>
#include <boost/asio.hpp>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "protocol/Codec.h"
#include "protocol/Protocol.h"

namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

enum class TMode { Submit, Tokens, Upload, Probe };

struct TOptions {
  std::vector<unsigned short> Ports;
  TMode Mode = TMode::Submit;
  int Clients = 32;
  double Seconds = 6;
  std::string Source = "127.0.2.1+";
  std::string Replay;
  int Score = -1;  // -1: 100 + the client's number
  int PauseAfter503 = 0;  // ms an uploader waits after a 503 before its next round
};

struct TTally {
  long Done = 0, Errors = 0;
  std::vector<double> Ms;  // each request's time (submit, tokens) or each round's (probe)
  std::map<int, long> Uploads;  // the upload's status, how often
};

const std::string kTokenRequest =
    "GET /cgi/version.pl?version&prg=Pondlark HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

std::string ResultRequest(const std::string& token, int score) {
  const std::string inf = tk::EncodeText(tk::online::PadPayload(
      "type=0|name=Bench|score=" + std::to_string(score) + "|key=T|p=" + token + "|add=|z="));
  return "GET /cgi/version.pl?hs&prg=Pondlark&inf=" + inf + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

class TClient : public std::enable_shared_from_this<TClient> {
 public:
  TClient(asio::io_context& io, const TOptions& o, int number, asio::ip::address source,
          Clock::time_point end, TTally& tally)
      : io_(io), o_(o), number_(number), source_(std::move(source)), end_(end), tally_(tally),
        socket_(io), timer_(io) {}

  void Start() { Round(); }

 private:
  bool KeepConnection() const { return o_.Mode == TMode::Submit || o_.Mode == TMode::Tokens; }

  void Round() {
    if (Clock::now() >= end_) {
      Close();
      return;
    }
    roundStart_ = Clock::now();
    if (socket_.is_open() && KeepConnection()) {
      AskToken();
      return;
    }
    Close();
    boost::system::error_code ec;
    socket_.open(tcp::v4(), ec);
    if (!ec) socket_.bind(tcp::endpoint(source_, 0), ec);
    if (!ec) socket_.set_option(tcp::no_delay(true), ec);
    if (ec) return Failed();
    const tcp::endpoint to(asio::ip::make_address("127.0.0.1"), o_.Ports[number_ % o_.Ports.size()]);
    socket_.async_connect(to, [self = shared_from_this()](boost::system::error_code e) {
      if (e) return self->Failed();
      self->AskToken();
    });
  }

  void AskToken() {
    Exchange(kTokenRequest, [self = shared_from_this()](int status, const std::string& body) {
      self->OnToken(status, body);
    });
  }

  void OnToken(int status, const std::string& body) {
    // The token is the fifth "|" field.
    std::string token;
    size_t at = 0;
    for (int i = 0; i < 4 && at != std::string::npos; ++i) {
      at = body.find('|', at);
      if (at != std::string::npos) ++at;
    }
    if (at != std::string::npos) token = body.substr(at, body.find('|', at) - at);
    if (status != 200 || token.empty()) return Failed();
    if (o_.Mode == TMode::Tokens) {
      ++tally_.Done;
      return Round();
    }
    const int score = o_.Score >= 0 ? o_.Score : 100 + number_;
    token_ = token;
    Exchange(ResultRequest(token, score), [self = shared_from_this()](int s, const std::string&) {
      self->OnResult(s);
    });
  }

  void OnResult(int status) {
    if (status != 200) return Failed();
    if (o_.Mode == TMode::Upload) {
      upload_ = "POST /cgi/replay.pl?prg=Pondlark&p=" + token_ +
                " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + std::to_string(o_.Replay.size()) +
                "\r\n\r\n" + o_.Replay;
      Exchange(upload_, [self = shared_from_this()](int s, const std::string&) {
        ++self->tally_.Uploads[s];
        ++self->tally_.Done;
        if (s == 503 && self->o_.PauseAfter503 > 0) {
          // As the game does: the server said to come back later.
          self->Close();
          self->timer_.expires_after(std::chrono::milliseconds(self->o_.PauseAfter503));
          self->timer_.async_wait([self](boost::system::error_code) { self->Round(); });
          return;
        }
        self->Round();
      });
      return;
    }
    ++tally_.Done;
    if (o_.Mode == TMode::Probe) {
      tally_.Ms.push_back(Since(roundStart_));
      Close();
      // The next round 100 ms after this one started.
      timer_.expires_at(roundStart_ + std::chrono::milliseconds(100));
      timer_.async_wait([self = shared_from_this()](boost::system::error_code) { self->Round(); });
      return;
    }
    Round();
  }

  // Sends a request and reads its reply: the status and body to `then`, or a failure.
  template <class F>
  void Exchange(const std::string& request, F then) {
    sent_ = Clock::now();
    asio::async_write(socket_, asio::buffer(request),
                      [self = shared_from_this(), then](boost::system::error_code ec, size_t) {
                        if (ec) return self->Failed();
                        self->ReadReply(then);
                      });
  }

  template <class F>
  void ReadReply(F then) {
    asio::async_read_until(
        socket_, asio::dynamic_buffer(in_), "\r\n\r\n",
        [self = shared_from_this(), then](boost::system::error_code ec, size_t headerEnd) {
          if (ec) return self->Failed();
          const std::string head = self->in_.substr(0, headerEnd);
          int status = 0;
          if (head.size() > 12) status = std::atoi(head.c_str() + 9);
          size_t length = 0;
          for (size_t at = head.find("\r\n"); at != std::string::npos; at = head.find("\r\n", at + 2)) {
            static const std::string kLength = "content-length:";
            std::string line = head.substr(at + 2, kLength.size());
            std::transform(line.begin(), line.end(), line.begin(), ::tolower);
            if (line == kLength) length = std::strtoul(head.c_str() + at + 2 + kLength.size(), nullptr, 10);
          }
          const size_t need = headerEnd + length;
          auto finish = [self, then, status, headerEnd, length] {
            const std::string body = self->in_.substr(headerEnd, length);
            self->in_.erase(0, headerEnd + length);
            if (self->o_.Mode != TMode::Probe) self->tally_.Ms.push_back(Since(self->sent_));
            then(status, body);
          };
          if (self->in_.size() >= need) return finish();
          asio::async_read(self->socket_, asio::dynamic_buffer(self->in_),
                           asio::transfer_at_least(need - self->in_.size()),
                           [self, finish](boost::system::error_code e, size_t) {
                             if (e) return self->Failed();
                             finish();
                           });
        });
  }

  void Failed() {
    ++tally_.Errors;
    Close();
    // Not faster than a round each 10 ms while the server refuses.
    timer_.expires_after(std::chrono::milliseconds(10));
    timer_.async_wait([self = shared_from_this()](boost::system::error_code) { self->Round(); });
  }

  void Close() {
    boost::system::error_code ec;
    socket_.close(ec);
    in_.clear();
  }

  static double Since(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
  }

  asio::io_context& io_;
  const TOptions& o_;
  int number_;
  asio::ip::address source_;
  Clock::time_point end_;
  TTally& tally_;
  tcp::socket socket_;
  asio::steady_timer timer_;
  std::string in_, token_, upload_;
  Clock::time_point roundStart_, sent_;
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(v.size() * p / 100))];
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

[[noreturn]] void Usage() {
  std::fputs(
      "usage: tinokvak-scores-load --ports P[,P...] [--mode submit|tokens|upload|probe]\n"
      "                            [--clients N] [--seconds S] [--source ADDRESS[+]]\n"
      "                            [--replay FILE] [--score N] [--pause-after-503 MS]\n",
      stderr);
  std::exit(2);
}

TOptions Parse(int argc, char** argv) {
  TOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) Usage();
    const std::string v = argv[++i];
    if (a == "--ports") {
      for (size_t at = 0; at <= v.size();) {
        const size_t comma = std::min(v.find(',', at), v.size());
        const long p = std::strtol(v.substr(at, comma - at).c_str(), nullptr, 10);
        if (p <= 0 || p > 65535) Usage();
        o.Ports.push_back(static_cast<unsigned short>(p));
        at = comma + 1;
      }
    } else if (a == "--mode") {
      if (v == "submit") o.Mode = TMode::Submit;
      else if (v == "tokens") o.Mode = TMode::Tokens;
      else if (v == "upload") o.Mode = TMode::Upload;
      else if (v == "probe") o.Mode = TMode::Probe;
      else Usage();
    } else if (a == "--clients") {
      o.Clients = std::atoi(v.c_str());
    } else if (a == "--seconds") {
      o.Seconds = std::atof(v.c_str());
    } else if (a == "--source") {
      o.Source = v;
    } else if (a == "--replay") {
      std::ifstream f(v, std::ios::binary);
      if (!f) {
        std::fprintf(stderr, "tinokvak-scores-load: cannot read %s\n", v.c_str());
        std::exit(1);
      }
      o.Replay.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    } else if (a == "--score") {
      o.Score = std::atoi(v.c_str());
    } else if (a == "--pause-after-503") {
      o.PauseAfter503 = std::atoi(v.c_str());
    } else {
      Usage();
    }
  }
  if (o.Ports.empty() || o.Clients < 1 || o.Clients > 4096 || !(o.Seconds > 0)) Usage();
  if (o.Mode == TMode::Upload && o.Replay.empty()) Usage();
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  const TOptions o = Parse(argc, argv);
  const bool own = !o.Source.empty() && o.Source.back() == '+';
  boost::system::error_code ec;
  const auto first = asio::ip::make_address_v4(own ? o.Source.substr(0, o.Source.size() - 1) : o.Source, ec);
  if (ec) Usage();
  asio::io_context io(1);
  TTally tally;
  const double cpu0 = CpuSeconds();
  const auto t0 = Clock::now();
  const auto end = t0 + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.Seconds));
  for (int i = 0; i < o.Clients; ++i) {
    const asio::ip::address source =
        asio::ip::address_v4(first.to_uint() + (own ? static_cast<unsigned>(i) : 0u));
    std::make_shared<TClient>(io, o, i, source, end, tally)->Start();
  }
  // Requests still out when the time is up get 15 s more at most.
  io.run_until(end + std::chrono::seconds(15));
  const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  std::string uploads;
  for (const auto& [status, n] : tally.Uploads)
    uploads += (uploads.empty() ? "" : ", ") + ("\"" + std::to_string(status) + "\": " + std::to_string(n));
  std::printf(
      "{\"done\": %ld, \"errors\": %ld, \"seconds\": %.2f, \"per_s\": %.0f, \"p50_ms\": %.1f,"
      " \"p99_ms\": %.1f, \"client_cpu_s\": %.2f, \"uploads\": {%s}}\n",
      tally.Done, tally.Errors, seconds, tally.Done / seconds,
      Percentile(tally.Ms, 50), Percentile(tally.Ms, 99), CpuSeconds() - cpu0, uploads.c_str());
  return 0;
}
