#include "HttpServer.h"
#include "PlayFiles.h"
#include "Downloads.h"
#include "ReplayFiles.h"
#include "SitePages.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/resource.h>

#include <utility>  // Asio 1.74 uses std::exchange without including it

#include <boost/asio.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
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

// What every reply says about itself: nothing is to be sniffed into another type, the pages
// load only their own stylesheet and pictures (no scripts, no frames, no forms), and no
// address (the replay upload's carries a token) leaks to another site.
constexpr std::string_view SecurityHeaders[][2] = {
    {"X-Content-Type-Options", "nosniff"},
    {"Content-Security-Policy",
     "default-src 'none'; style-src 'self'; img-src 'self'; base-uri 'none'; "
     "form-action 'none'; frame-ancestors 'none'"},
    {"Referrer-Policy", "no-referrer"},
};

std::string SecurityHeaderLines() {
  std::string lines;
  for (const auto& h : SecurityHeaders) lines += std::string(h[0]) + ": " + std::string(h[1]) + "\r\n";
  return lines;
}

Response MakeResponse(const TReply& r, bool keepAlive, std::string_view cache = "no-store") {
  Response res;
  res.version(11);
  res.result(static_cast<unsigned>(r.Status));
  res.set(http::field::server, "tinokvak-scores");
  res.set(http::field::content_type, r.ContentType);
  res.set(http::field::cache_control, beast::string_view(cache.data(), cache.size()));
  for (const auto& h : SecurityHeaders)
    res.set(beast::string_view(h[0].data(), h[0].size()), beast::string_view(h[1].data(), h[1].size()));
  // Busy, not broken: the game sends again later, and a second is the soonest that helps.
  if (r.Status == 503) res.set(http::field::retry_after, "1");
  res.body() = r.Body;
  res.keep_alive(keepAlive);
  res.prepare_payload();
  return res;
}

// A reply to HEAD: the GET reply's header, its length included, without the body.
void DropBody(Response& res) {
  const std::string length = std::to_string(res.body().size());
  res.body().clear();
  res.set(http::field::content_length, length);
}

std::string_view View(beast::string_view s) { return {s.data(), s.size()}; }

// An HTTP date (RFC 9110 IMF-fixdate), and back; nothing when the text is not one.
std::string HttpDate(int64_t t) {
  const std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  gmtime_r(&tt, &tm);
  char buf[40];
  std::strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S GMT", &tm);
  return buf;
}

std::optional<int64_t> ParseHttpDate(std::string_view text) {
  std::tm tm{};
  const std::string s(text);
  const char* end = strptime(s.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &tm);
  if (!end || *end != '\0') return std::nullopt;
  return static_cast<int64_t>(timegm(&tm));
}

// Whether an If-None-Match list names the entity tag (weak comparison, as for GET).
bool MatchesAnyTag(std::string_view list, std::string_view tag) {
  auto trim = [](std::string_view v) {
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
    return v;
  };
  auto opaque = [](std::string_view v) { return v.rfind("W/", 0) == 0 ? v.substr(2) : v; };
  if (trim(list) == "*") return true;
  for (;;) {
    const size_t comma = list.find(',');
    if (opaque(trim(list.substr(0, comma))) == opaque(tag)) return true;
    if (comma == std::string_view::npos) return false;
    list.remove_prefix(comma + 1);
  }
}

// Whether the client's copy is current: its If-None-Match names TAG, or (without one) its
// If-Modified-Since is no earlier than MODIFIED.
bool ClientHasIt(const http::request<http::string_body>& req, std::string_view tag, int64_t modified) {
  if (req.count(http::field::if_none_match)) return MatchesAnyTag(View(req[http::field::if_none_match]), tag);
  if (!req.count(http::field::if_modified_since)) return false;
  const auto since = ParseHttpDate(View(req[http::field::if_modified_since]));
  return since && *since >= modified;
}

int64_t ServerStarted() {
  static const int64_t started = static_cast<int64_t>(std::time(nullptr));
  return started;
}

std::string SiteFileTag(const TSiteFile& file) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : file.Bytes) h = (h ^ c) * 0x100000001b3ull;
  char buf[24];
  std::snprintf(buf, sizeof buf, "\"%016llx\"", static_cast<unsigned long long>(h));
  return buf;
}

Response AnswerRequest(TScoreService& service, const TSite* site,
                       const http::request<http::string_body>& req, std::string_view peer);

// The game's page runs its own scripts and WebAssembly and talks to this server only.
constexpr std::string_view kPlayPolicy =
    "default-src 'self'; script-src 'self' 'unsafe-inline' 'wasm-unsafe-eval'; "
    "style-src 'self' 'unsafe-inline'; img-src 'self' data: blob:; media-src 'self' data: blob:; "
    "connect-src 'self'; worker-src 'self' blob:; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'";

bool IsPlayPath(std::string_view path) { return path == "/play" || path.rfind("/play/", 0) == 0; }

// A file of the game's page. The page itself changes with every build, so a browser asks
// again each time (no-cache) and the tags make that a "304 Not Modified"; the files it
// names carry their content's hash in their names and are kept for good.
Response AnswerPlay(const TSite* site, const http::request<http::string_body>& req, std::string_view path) {
  if (path == "/play") {
    Response res = MakeResponse({301, "text/plain; charset=utf-8", "moved to /play/\n"}, req.keep_alive());
    res.set(http::field::location, "/play/");
    return res;
  }
  const bool gzip = req.count(http::field::accept_encoding) &&
                    AcceptsGzip(View(req[http::field::accept_encoding]));
  static const TPlayFiles none{std::filesystem::path()};
  const TPlayFiles& play = site && site->Play ? *site->Play : none;
  TPlayFile file;
  try {
    file = play.Get(path.substr(5), gzip);
  } catch (const std::exception& e) {
    return MakeResponse({500, "text/plain; charset=utf-8", std::string("cannot serve the file: ") + e.what() + "\n"},
                        req.keep_alive());
  }
  if (file.Status != 200)
    return MakeResponse({file.Status, file.ContentType, *file.Body}, req.keep_alive());
  const bool fresh = ClientHasIt(req, file.ETag, file.Modified);
  Response res = MakeResponse({200, file.ContentType, {}}, req.keep_alive(),
                              file.Immutable ? "public, max-age=31536000, immutable" : "no-cache");
  if (!fresh) {
    res.body() = *file.Body;
    res.prepare_payload();
  }
  res.set("Content-Security-Policy", beast::string_view(kPlayPolicy.data(), kPlayPolicy.size()));
  res.set(http::field::etag, file.ETag);
  res.set(http::field::last_modified, HttpDate(file.Modified));
  if (file.Varies) res.set(http::field::vary, "Accept-Encoding");
  if (fresh) {
    res.result(http::status::not_modified);
    res.erase(http::field::content_length);
    res.erase(http::field::content_type);
    return res;
  }
  if (file.Gzip) res.set(http::field::content_encoding, "gzip");
  return res;
}

// A page made for this request, gzipped for a client that takes it (the table's hundred
// rows shrink to a fifth).
void GzipPage(Response& res, const http::request<http::string_body>& req) {
  const std::string_view type = View(res[http::field::content_type]);
  if (res.result_int() != 200 || type.rfind("text/html", 0) != 0 || res.body().size() < 512) return;
  res.set(http::field::vary, "Accept-Encoding");
  if (!req.count(http::field::accept_encoding) || !AcceptsGzip(View(req[http::field::accept_encoding])))
    return;
  res.body() = QuickGzip(res.body());
  res.set(http::field::content_encoding, "gzip");
  res.prepare_payload();
}

// The release's packages (Downloads.h): the page lists them as the folder holds them now,
// each file is served with its tag (from its SHA-256) and time.
Response AnswerDownloads(const TSite* site, const http::request<http::string_body>& req,
                         std::string_view path) {
  if (path == "/download") {
    Response res = MakeResponse({301, "text/plain; charset=utf-8", "moved to /download/\n"}, req.keep_alive());
    res.set(http::field::location, "/download/");
    return res;
  }
  static const TDownloads none{std::filesystem::path()};
  const TDownloads& downloads = site && site->Downloads ? *site->Downloads : none;
  const std::string_view address = site ? std::string_view(site->Address) : std::string_view();
  try {
    if (path == "/download/") {
      Response res = MakeResponse({200, "text/html; charset=utf-8", DownloadPage(downloads.List(), address)},
                                  req.keep_alive(), "no-cache");
      GzipPage(res, req);
      return res;
    }
    const TDownloadAnswer file = downloads.Get(path.substr(std::string_view("/download/").size()));
    if (file.Status != 200) return MakeResponse({file.Status, file.ContentType, *file.Body}, req.keep_alive());
    const bool fresh = ClientHasIt(req, file.ETag, file.Modified);
    Response res = MakeResponse({200, file.ContentType, fresh ? std::string() : *file.Body},
                                req.keep_alive(), "max-age=3600");
    res.set(http::field::etag, file.ETag);
    res.set(http::field::last_modified, HttpDate(file.Modified));
    if (fresh) {
      res.result(http::status::not_modified);
      res.erase(http::field::content_length);
      res.erase(http::field::content_type);
    }
    return res;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tinokvak-scores: %s\n", e.what());
    return MakeResponse({500, "text/plain; charset=utf-8", "server error\n"}, req.keep_alive());
  }
}

// A kept replay or its summary (ReplayFiles.h): the same bytes for good, so cached for a
// year and confirmed by its tag.
Response AnswerReplays(TScoreService& service, const http::request<http::string_body>& req,
                       std::string_view path) {
  TReplayAnswer a;
  try {
    a = AnswerReplay(service.Store(), path);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tinokvak-scores: %s\n", e.what());
    return MakeResponse({500, "text/plain; charset=utf-8", "server error\n"}, req.keep_alive());
  }
  if (a.Status != 200) return MakeResponse({a.Status, a.ContentType, a.Body}, req.keep_alive());
  const bool fresh = req.count(http::field::if_none_match) &&
                     MatchesAnyTag(View(req[http::field::if_none_match]), a.ETag);
  Response res = MakeResponse({200, a.ContentType, fresh ? std::string() : std::move(a.Body)},
                              req.keep_alive(), "public, max-age=31536000, immutable");
  res.set(http::field::etag, a.ETag);
  if (fresh) {
    res.result(http::status::not_modified);
    res.erase(http::field::content_length);
    res.erase(http::field::content_type);
  }
  return res;
}

Response Answer(TScoreService& service, const TSite* site,
                const http::request<http::string_body>& req, std::string_view peer = {}) {
  // An HTTP/1.1 request names its host once; a request naming it twice (any version) is
  // refused, as the protocol asks.
  const size_t hosts = req.count(http::field::host);
  if (hosts > 1 || (hosts == 0 && req.version() >= 11))
    return MakeResponse({400, "text/plain; charset=utf-8", "bad request: Host\n"}, false);
  const bool head = req.method() == http::verb::head;
  Response res = AnswerRequest(service, site, req, peer);
  if (head) DropBody(res);
  return res;
}

Response AnswerRequest(TScoreService& service, const TSite* site,
                       const http::request<http::string_body>& req, std::string_view peer) {
  if (IsUpload(req)) {
    const std::string_view target(req.target().data(), req.target().size());
    const size_t q = target.find('?');
    return MakeResponse(
        service.HandleUpload(q == std::string_view::npos ? std::string_view() : target.substr(q + 1),
                             req.body(), peer),
        req.keep_alive());
  }
  const std::string_view asked(req.target().data(), req.target().size());
  if (asked.substr(0, asked.find('?')) == TScoreService::ReplayPath) {
    // Replays are only ever posted.
    Response res = MakeResponse({405, "text/plain; charset=utf-8", "only POST\n"}, req.keep_alive());
    res.set(http::field::allow, "POST");
    return res;
  }
  if (req.method() != http::verb::get && req.method() != http::verb::head) {
    Response res = MakeResponse({405, "text/plain; charset=utf-8", "only GET and HEAD\n"}, req.keep_alive());
    res.set(http::field::allow, "GET, HEAD");
    return res;
  }
  // The target as sent: the query is checked as the game wrote it.
  const std::string_view target(req.target().data(), req.target().size());
  const size_t q = target.find('?');
  const std::string_view path = target.substr(0, q);
  const std::string_view query = q == std::string_view::npos ? std::string_view() : target.substr(q + 1);
  if (IsPlayPath(path)) return AnswerPlay(site, req, path);
  if (const TSiteFile* file = site ? site->Find(path) : nullptr) {
    // The pages change only with a new server; an hour's caching spares the screenshots.
    std::string type(file->ContentType);
    if (type.rfind("text/", 0) == 0) type += "; charset=utf-8";
    // Validators: a tag from the file's bytes, and the time this server started (the files
    // are built into it). A cached copy that still matches is confirmed without its body.
    // The gzip form, made once at start, goes to a client that takes it.
    const bool gzip = !file->Gzipped.empty() && req.count(http::field::accept_encoding) &&
                      AcceptsGzip(View(req[http::field::accept_encoding]));
    const std::string tag = gzip                    ? std::string(file->GzipETag)
                            : !file->ETag.empty() ? std::string(file->ETag)
                                                  : SiteFileTag(*file);
    const std::string modified = HttpDate(ServerStarted());
    const bool fresh = ClientHasIt(req, tag, ServerStarted());
    Response res = MakeResponse({200, type, std::string(gzip ? file->Gzipped : file->Bytes)},
                                req.keep_alive(), "max-age=3600");
    res.set(http::field::etag, tag);
    res.set(http::field::last_modified, modified);
    if (!file->Gzipped.empty()) res.set(http::field::vary, "Accept-Encoding");
    if (fresh) {
      res.result(http::status::not_modified);
      res.body().clear();
      res.erase(http::field::content_length);
      res.erase(http::field::content_type);
    } else if (gzip) {
      res.set(http::field::content_encoding, "gzip");
    }
    return res;
  }
  if (IsDownloadPath(path)) return AnswerDownloads(site, req, path);
  if (IsReplaysPath(path)) return AnswerReplays(service, req, path);
  Response res = MakeResponse(service.Handle(path, query, peer), req.keep_alive());
  GzipPage(res, req);
  return res;
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

// What an "Expect" header asks of a request with a body still to come: nothing, the
// interim "100 Continue" the client waits for, or something this server does not do (417).
enum class TExpect { None, Continue, Unknown };
TExpect Expectation(const http::request<http::string_body>& req, bool bodyDone) {
  if (!req.count(http::field::expect)) return TExpect::None;
  std::string value(View(req[http::field::expect]));
  std::transform(value.begin(), value.end(), value.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (value != "100-continue") return TExpect::Unknown;
  // Only HTTP/1.1 clients wait for it, and only when a body is still to come.
  return req.version() >= 11 && !bodyDone ? TExpect::Continue : TExpect::None;
}

// What sessions share with the listener. Sessions may outlive the listener (their handlers
// are destroyed with the I/O context), so they hold it by shared pointer.
struct TShared {
  TScoreService& Service;
  const TSite* Site;
  TServerLimits Limits;
  std::map<asio::ip::address, int> Connections;  // open connections per address
  std::map<asio::ip::address, int> Serving;      // requests being served per address
  // Where the requests that reach the database are answered: never on the event loop,
  // so a slow or frozen database holds up those requests and nothing else. Replay uploads
  // go to threads of their own, so that they never take all of the others'.
  asio::thread_pool* Workers = nullptr;
  asio::thread_pool* UploadWorkers = nullptr;
  static void Release(std::map<asio::ip::address, int>& counts, const asio::ip::address& peer) {
    auto it = counts.find(peer);
    if (it != counts.end() && --it->second == 0) counts.erase(it);
  }
};

// The fixed 503 for a client over its share, written straight to a socket whose send
// buffer holds nothing else.
std::string BusyReply(std::string_view why) {
  return "HTTP/1.1 503 Service Unavailable\r\nServer: tinokvak-scores\r\n"
         "Content-Type: text/plain; charset=utf-8\r\nCache-Control: no-store\r\n" +
         SecurityHeaderLines() + "Retry-After: 1\r\nContent-Length: " +
         std::to_string(why.size()) + "\r\nConnection: close\r\n\r\n" + std::string(why);
}

class TSession : public std::enable_shared_from_this<TSession> {
 public:
  TSession(tcp::socket socket, std::shared_ptr<TShared> shared, asio::ip::address peer);
  ~TSession();
  void Start() { Read(); }

 private:
  void Read();
  void ReadRequest();
  void ReadBody();
  void OnRead(beast::error_code ec);
  bool Serve();  // takes one of the address's request slots; false when none is free
  void EndServing();
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
  bool serving_ = false;
  std::string interim_;  // "100 Continue"
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

  void SetWorkers(asio::thread_pool* workers, asio::thread_pool* uploads) {
    shared_->Workers = workers;
    shared_->UploadWorkers = uploads;
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
    int& open = shared_->Connections[remote.address()];
    if (open >= shared_->Limits.ConnectionsPerAddress) {
      // A fresh socket's send buffer is empty, so this short reply goes out at once.
      const std::string busy = BusyReply("too many connections from you\n");
      socket.non_blocking(true, ec);
      socket.write_some(asio::buffer(busy.data(), busy.size()), ec);
      socket.close(ec);
      if (open == 0) shared_->Connections.erase(remote.address());
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

TSession::~TSession() {
  EndServing();
  TShared::Release(server_->Connections, peer_);
}

bool TSession::Serve() {
  if (serving_) return true;
  int& n = server_->Serving[peer_];
  if (n >= server_->Limits.PerAddress) {
    if (n == 0) server_->Serving.erase(peer_);
    return false;
  }
  ++n;
  serving_ = true;
  return true;
}

void TSession::EndServing() {
  if (!serving_) return;
  serving_ = false;
  TShared::Release(server_->Serving, peer_);
}

void TSession::Read() {
  parser_.emplace();
  Configure(*parser_, server_->Limits);
  // One deadline for the whole request, not per read: progress does not extend it. An
  // idle connection waits for its next request's first byte within the same time.
  stream_.expires_after(std::chrono::seconds(server_->Limits.RequestSeconds));
  if (buffer_.size() > 0) {
    ReadRequest();
    return;
  }
  stream_.socket().async_wait(tcp::socket::wait_read, [self = shared_from_this()](beast::error_code ec) {
    if (ec) {
      self->stream_.socket().close(ec);
      return;
    }
    self->ReadRequest();
  });
}

void TSession::ReadRequest() {
  // From its first byte on, the request holds one of its address's slots until answered.
  if (!Serve()) {
    beast::error_code ec;
    const std::string busy = BusyReply("too many requests from you at once\n");
    stream_.socket().non_blocking(true, ec);
    stream_.socket().write_some(asio::buffer(busy.data(), busy.size()), ec);
    stream_.socket().non_blocking(false, ec);
    stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
    stream_.expires_after(std::chrono::seconds(2));
    Drain();
    return;
  }
  http::async_read_header(stream_, buffer_, *parser_,
                          [self = shared_from_this()](beast::error_code ec, size_t) {
                            if (ec) {
                              self->OnRead(ec);
                              return;
                            }
                            self->ReadBody();
                          });
}

void TSession::ReadBody() {
  Parser& p = *parser_;
  if (!ConfigureBody(p, server_->Limits)) {
    OnRead(http::error::body_limit);
    return;
  }
  // An upload the check queue has no room for is answered before its file is read: no
  // thread, no database, and the rest of it is drained after the reply.
  if (IsUpload(p.get()))
    if (std::optional<TReply> busy = server_->Service.TurnsUploadAway(peer_.to_string())) {
      res_ = MakeResponse(*busy, false);
      Write(false);
      return;
    }
  auto read = [self = shared_from_this()] {
    http::async_read(self->stream_, self->buffer_, *self->parser_,
                     [self](beast::error_code e, size_t) { self->OnRead(e); });
  };
  switch (Expectation(p.get(), p.is_done())) {
    case TExpect::None: read(); return;
    case TExpect::Unknown:
      res_ = MakeResponse({417, "text/plain; charset=utf-8", "unknown expectation\n"}, false);
      Write(false);
      return;
    case TExpect::Continue:
      // The client waits for a word before it sends the body.
      interim_ = "HTTP/1.1 100 Continue\r\n\r\n";
      asio::async_write(stream_, asio::buffer(interim_),
                        [self = shared_from_this(), read](beast::error_code ec, size_t) {
                          if (ec) {
                            self->stream_.socket().close(ec);
                            return;
                          }
                          read();
                        });
      return;
  }
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
  const auto& req = parser_->get();
  const std::string_view target(req.target().data(), req.target().size());
  const bool file = server_->Site && server_->Site->Find(target.substr(0, target.find('?'))) &&
                    (req.method() == http::verb::get || req.method() == http::verb::head);
  if (file || !server_->Workers) {
    res_ = Answer(server_->Service, server_->Site, req, peer_.to_string());
    Write(res_.keep_alive());
    return;
  }
  asio::thread_pool& pool =
      IsUpload(req) && server_->UploadWorkers ? *server_->UploadWorkers : *server_->Workers;
  asio::post(pool, [self = shared_from_this()] {
    auto res = std::make_shared<Response>(
        Answer(self->server_->Service, self->server_->Site, self->parser_->get(), self->peer_.to_string()));
    asio::post(self->stream_.get_executor(), [self, res] {
      self->res_ = std::move(*res);
      self->Write(self->res_.keep_alive());
    });
  });
}

void TSession::Write(bool keepAlive) {
  stream_.expires_after(std::chrono::seconds(server_->Limits.RequestSeconds));
  // Header and body leave in one gathered write; with no_delay nothing waits for an ACK.
  http::async_write(stream_, res_, [self = shared_from_this(), keepAlive](beast::error_code ec, size_t) {
    self->OnWrite(ec, keepAlive);
  });
}

void TSession::OnWrite(beast::error_code ec, bool keepAlive) {
  EndServing();
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
  std::string interim;
  bool unknownExpectation = false;
  std::optional<TReply> turnedAway;  // an upload answered before its body, as on the wire
  while (!parser.is_done() && !ec && !unknownExpectation && !turnedAway && used < bytes.size()) {
    const size_t n = parser.put(asio::buffer(bytes.data() + used, bytes.size() - used), ec);
    if (ec == http::error::need_more) {
      ec = {};
      if (n == 0) break;
    }
    used += n;
    if (!ec && !bodyConfigured && parser.is_header_done()) {
      bodyConfigured = true;
      if (!ConfigureBody(parser, limits)) {
        ec = http::error::body_limit;
      } else if (IsUpload(parser.get())) {
        turnedAway = service.TurnsUploadAway({});
      }
      if (!ec && !turnedAway) {
        const TExpect e = Expectation(parser.get(), parser.is_done());
        if (e == TExpect::Continue) interim = "HTTP/1.1 100 Continue\r\n\r\n";
        unknownExpectation = e == TExpect::Unknown;
      }
    }
  }
  // A request still incomplete has its interim answer at most.
  out.Reply = interim;
  if (!ec && !unknownExpectation && !turnedAway && !parser.is_done() && used == bytes.size()) {
    parser.put_eof(ec);
    if (!ec && !parser.is_done()) return out;
    if (ec == http::error::partial_message) return out;
  }
  Response res;
  if (ec) {
    const int status = StatusForReadError(ec, parser);
    if (status == 0) return out;
    res = MakeResponse({status, "text/plain; charset=utf-8", "refused\n"}, false);
  } else if (unknownExpectation) {
    res = MakeResponse({417, "text/plain; charset=utf-8", "unknown expectation\n"}, false);
  } else if (turnedAway) {
    res = MakeResponse(*turnedAway, false);
  } else if (parser.is_done()) {
    res = Answer(service, site, parser.get());
  } else {
    return out;
  }
  out.KeepAlive = res.keep_alive();
  out.Used = used;
  std::ostringstream text;
  text << res;
  out.Reply = interim + text.str();
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
  ServerStarted();  // the static files' Last-Modified
  asio::thread_pool workers(limits.Workers);
  asio::thread_pool uploads(limits.UploadWorkers);
  TServer server(io, service, site, limits);
  server.SetWorkers(&workers, &uploads);
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
  // Requests still with the database end within its time limit; their replies go nowhere.
  workers.join();
  uploads.join();
  return 0;
}

}  // namespace tk::scores
