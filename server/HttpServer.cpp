#include "HttpServer.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/resource.h>

#include <utility>  // Asio 1.74 uses std::exchange without including it

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <map>
#include <algorithm>
#include <utility>

namespace tk::scores {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using Parser = http::request_parser<http::string_body>;
using Response = http::response<http::string_body>;

namespace {

// The parser weighs a Content-Length against the body limit as the headers end, before
// the request's kind is known: it starts at the larger limit and ConfigureBody narrows it.
void Configure(Parser& parser, const TServerLimits& limits) {
  parser.header_limit(limits.HeaderBytes);
  parser.body_limit(std::max(limits.BodyBytes, limits.ReplayBytes));
}

bool IsUpload(const http::request<http::string_body>& req) {
  const std::string_view target(req.target().data(), req.target().size());
  return req.method() == http::verb::post &&
         target.substr(0, target.find('?')) == TScoreService::ReplayPath;
}

// Once the headers are in: only a replay upload may bring a large body. False when the
// announced body is already too large.
bool ConfigureBody(Parser& parser, const TServerLimits& limits) {
  const uint32_t limit = IsUpload(parser.get()) ? limits.ReplayBytes : limits.BodyBytes;
  if (parser.content_length() && *parser.content_length() > limit) return false;
  parser.body_limit(limit);  // counts what is left, for chunked bodies
  return true;
}

Response MakeResponse(const TReply& r, bool keepAlive, std::string_view cache = "no-store") {
  Response res;
  res.version(11);
  res.result(static_cast<unsigned>(r.Status));
  res.set(http::field::server, "tinokvak-scores");
  res.set(http::field::content_type, r.ContentType);
  res.set(http::field::cache_control, beast::string_view(cache.data(), cache.size()));
  res.body() = r.Body;
  res.keep_alive(keepAlive);
  res.prepare_payload();
  return res;
}

Response Answer(TScoreService& service, const TSite* site,
                const http::request<http::string_body>& req) {
  if (IsUpload(req)) {
    const std::string_view target(req.target().data(), req.target().size());
    const size_t q = target.find('?');
    return MakeResponse(
        service.HandleUpload(q == std::string_view::npos ? std::string_view() : target.substr(q + 1),
                             req.body()),
        req.keep_alive());
  }
  if (req.method() != http::verb::get) {
    Response res = MakeResponse({405, "text/plain; charset=utf-8", "only GET\n"}, req.keep_alive());
    res.set(http::field::allow, "GET");
    return res;
  }
  // The target as sent: the query is checked as the game wrote it.
  const std::string_view target(req.target().data(), req.target().size());
  const size_t q = target.find('?');
  const std::string_view path = target.substr(0, q);
  const std::string_view query = q == std::string_view::npos ? std::string_view() : target.substr(q + 1);
  if (const TSiteFile* file = site ? site->Find(path) : nullptr) {
    // The pages change only with a new server; an hour's caching spares the screenshots.
    std::string type(file->ContentType);
    if (type.rfind("text/", 0) == 0) type += "; charset=utf-8";
    return MakeResponse({200, type, std::string(file->Bytes)},
                        req.keep_alive(), "max-age=3600");
  }
  return MakeResponse(service.Handle(path, query), req.keep_alive());
}

// The status for a request the parser gave up on; 0 when there is nobody to answer
// (the client went away or ran out of time).
int StatusForReadError(const beast::error_code& ec, const Parser& parser) {
  if (ec == http::error::end_of_stream || ec == beast::error::timeout ||
      ec == asio::error::operation_aborted || ec == asio::error::eof ||
      ec == asio::error::connection_reset || ec == http::error::partial_message)
    return 0;
  if (ec == http::error::header_limit) return 431;
  if (ec == http::error::body_limit) return 413;
  if (ec == http::error::buffer_overflow) return parser.is_header_done() ? 413 : 431;
  // Anything else the parser refuses is a malformed request.
  if (ec.category() == http::make_error_code(http::error::bad_target).category()) return 400;
  return 0;
}

// What sessions share with the listener. Sessions may outlive the listener (their handlers
// are destroyed with the I/O context), so they hold it by shared pointer.
struct TShared {
  TScoreService& Service;
  const TSite* Site;
  TServerLimits Limits;
  std::map<asio::ip::address, int> PerAddress;
  void Release(const asio::ip::address& peer) {
    auto it = PerAddress.find(peer);
    if (it != PerAddress.end() && --it->second == 0) PerAddress.erase(it);
  }
};

class TSession : public std::enable_shared_from_this<TSession> {
 public:
  TSession(tcp::socket socket, std::shared_ptr<TShared> shared, asio::ip::address peer);
  ~TSession();
  void Start() { Read(); }

 private:
  void Read();
  void OnRead(beast::error_code ec);
  void Write(bool keepAlive);
  void OnWrite(beast::error_code ec, bool keepAlive);
  void Drain();

  beast::tcp_stream stream_;
  std::shared_ptr<TShared> server_;
  asio::ip::address peer_;
  beast::flat_buffer buffer_;
  std::optional<Parser> parser_;
  Response res_;
  std::array<char, 4096> sink_;
};

class TServer {
 public:
  TServer(asio::io_context& io, TScoreService& service, const TSite* site, const TServerLimits& limits)
      : shared_(std::make_shared<TShared>(TShared{service, site, limits, {}})), acceptor_(io), retry_(io) {}

  // Returns the port, or 0 when it cannot listen.
  int Listen(const std::string& address, int port) {
    beast::error_code ec;
    const tcp::endpoint ep(asio::ip::make_address(address, ec), static_cast<unsigned short>(port));
    if (ec) return 0;
    acceptor_.open(ep.protocol(), ec);
    if (!ec) acceptor_.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) acceptor_.bind(ep, ec);
    if (!ec) acceptor_.listen(shared_->Limits.Backlog, ec);
    if (ec) return 0;
    return acceptor_.local_endpoint().port();
  }

  void Accept() {
    acceptor_.async_accept([this](beast::error_code ec, tcp::socket socket) {
      if (ec == asio::error::operation_aborted) return;
      if (ec) {
        // Out of descriptors, most likely: try again shortly instead of spinning.
        retry_.expires_after(std::chrono::milliseconds(50));
        retry_.async_wait([this](beast::error_code e) {
          if (!e) Accept();
        });
        return;
      }
      Admit(std::move(socket));
      Accept();
    });
  }

  void Stop() {
    beast::error_code ec;
    acceptor_.close(ec);
    retry_.cancel();
  }


 private:
  void Admit(tcp::socket socket) {
    beast::error_code ec;
    const tcp::endpoint remote = socket.remote_endpoint(ec);
    if (ec) return;
    int& open = shared_->PerAddress[remote.address()];
    if (open >= shared_->Limits.PerAddress) {
      // A fresh socket's send buffer is empty, so this short reply goes out at once.
      static constexpr std::string_view kBusy =
          "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain; charset=utf-8\r\n"
          "Content-Length: 27\r\nConnection: close\r\n\r\ntoo many connections from you\n";
      socket.non_blocking(true, ec);
      socket.write_some(asio::buffer(kBusy.data(), kBusy.size()), ec);
      socket.close(ec);
      return;
    }
    ++open;
    socket.set_option(tcp::no_delay(true), ec);
    std::make_shared<TSession>(std::move(socket), shared_, remote.address())->Start();
  }

  std::shared_ptr<TShared> shared_;
  tcp::acceptor acceptor_;
  asio::steady_timer retry_;
};

TSession::TSession(tcp::socket socket, std::shared_ptr<TShared> shared, asio::ip::address peer)
    : stream_(std::move(socket)), server_(std::move(shared)), peer_(std::move(peer)),
      buffer_(server_->Limits.HeaderBytes +
              std::max(server_->Limits.BodyBytes, server_->Limits.ReplayBytes)) {}

TSession::~TSession() { server_->Release(peer_); }

void TSession::Read() {
  parser_.emplace();
  Configure(*parser_, server_->Limits);
  // One deadline for the whole request, not per read: progress does not extend it.
  stream_.expires_after(std::chrono::seconds(server_->Limits.RequestSeconds));
  http::async_read_header(stream_, buffer_, *parser_,
                          [self = shared_from_this()](beast::error_code ec, size_t) {
                            if (ec) {
                              self->OnRead(ec);
                              return;
                            }
                            if (!ConfigureBody(*self->parser_, self->server_->Limits)) {
                              self->OnRead(http::error::body_limit);
                              return;
                            }
                            http::async_read(self->stream_, self->buffer_, *self->parser_,
                                             [self](beast::error_code e, size_t) { self->OnRead(e); });
                          });
}

void TSession::OnRead(beast::error_code ec) {
  if (ec) {
    const int status = StatusForReadError(ec, *parser_);
    if (status == 0) {
      stream_.socket().close(ec);
      return;
    }
    static const char* const kWhy[] = {"bad request\n", "headers too large\n", "request too large\n"};
    const char* why = status == 431 ? kWhy[1] : status == 413 ? kWhy[2] : kWhy[0];
    res_ = MakeResponse({status, "text/plain; charset=utf-8", why}, false);
    Write(false);
    return;
  }
  res_ = Answer(server_->Service, server_->Site, parser_->get());
  Write(res_.keep_alive());
}

void TSession::Write(bool keepAlive) {
  stream_.expires_after(std::chrono::seconds(server_->Limits.RequestSeconds));
  // Header and body leave in one gathered write; with no_delay nothing waits for an ACK.
  http::async_write(stream_, res_, [self = shared_from_this(), keepAlive](beast::error_code ec, size_t) {
    self->OnWrite(ec, keepAlive);
  });
}

void TSession::OnWrite(beast::error_code ec, bool keepAlive) {
  if (ec) {
    stream_.socket().close(ec);
    return;
  }
  if (keepAlive) {
    Read();
    return;
  }
  // Closing with unread input would reset the connection and could lose the reply on its
  // way: stop sending, then discard what still comes for a short while.
  stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
  stream_.expires_after(std::chrono::seconds(2));
  Drain();
}

void TSession::Drain() {
  stream_.async_read_some(asio::buffer(sink_), [self = shared_from_this()](beast::error_code ec, size_t) {
    if (ec) {
      self->stream_.socket().close(ec);
      return;
    }
    self->Drain();
  });
}

}  // namespace

TRawExchange AnswerRaw(TScoreService& service, std::string_view bytes, const TServerLimits& limits,
                       const TSite* site) {
  Parser parser;
  Configure(parser, limits);
  beast::error_code ec;
  TRawExchange out;
  // The stream arrives in pieces in real life; the parser must not depend on where they fall.
  size_t used = 0;
  bool bodyConfigured = false;
  while (!parser.is_done() && !ec && used < bytes.size()) {
    const size_t n = parser.put(asio::buffer(bytes.data() + used, bytes.size() - used), ec);
    if (ec == http::error::need_more) {
      ec = {};
      if (n == 0) break;
    }
    used += n;
    if (!ec && !bodyConfigured && parser.is_header_done()) {
      bodyConfigured = true;
      if (!parser.is_done() && !ConfigureBody(parser, limits)) ec = http::error::body_limit;
    }
  }
  if (!ec && !parser.is_done() && used == bytes.size()) {
    parser.put_eof(ec);
    if (!ec && !parser.is_done()) return out;
    if (ec == http::error::partial_message) return out;
  }
  Response res;
  if (ec) {
    const int status = StatusForReadError(ec, parser);
    if (status == 0) return out;
    res = MakeResponse({status, "text/plain; charset=utf-8", "refused\n"}, false);
  } else if (parser.is_done()) {
    res = Answer(service, site, parser.get());
  } else {
    return out;
  }
  out.KeepAlive = res.keep_alive();
  out.Used = used;
  std::ostringstream text;
  text << res;
  out.Reply = text.str();
  return out;
}

int Serve(TScoreService& service, const std::string& address, int port, const TServerLimits& limits,
          const TSite* site) {
  // Each connection is a descriptor: take all the system allows.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  signal(SIGPIPE, SIG_IGN);
  asio::io_context io(1);
  TServer server(io, service, site, limits);
  const int bound = server.Listen(address, port);
  if (bound == 0) {
    std::fprintf(stderr, "tinokvak-scores: cannot listen on %s:%d\n", address.c_str(), port);
    return 1;
  }
  asio::signal_set stop(io, SIGINT, SIGTERM);
  stop.async_wait([&](beast::error_code, int) {
    server.Stop();
    io.stop();
  });
  std::printf("listening on http://%s:%d\n", address.c_str(), bound);
  std::fflush(stdout);
  server.Accept();
  io.run();
  return 0;
}

}  // namespace tk::scores
