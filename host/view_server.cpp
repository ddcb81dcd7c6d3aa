#include "host/view_server.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <exception>
#include <iostream>
#include <limits>
#include <list>
#include <mutex>
#include <optional>
#include <thread>

namespace vantrels::host {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

std::string_view View(beast::string_view text) {
  return {text.data(), text.size()};
}

// Every answer: nothing cached, nothing sniffed, nothing framed, nothing loaded from elsewhere.
template <typename Message>
void SetCommonHeaders(Message &message) {
  message.set(http::field::server, "vantrels-host");
  message.set(http::field::cache_control, "no-store");
  message.set("X-Content-Type-Options", "nosniff");
  message.set("Referrer-Policy", "no-referrer");
  message.set("Cross-Origin-Resource-Policy", "same-origin");
  message.set("Content-Security-Policy",
              "default-src 'self'; img-src 'self' data:; object-src 'none'; base-uri 'none'; frame-ancestors 'none'");
}

}  // namespace

class ViewSession;

struct ViewServer::Impl {
  Impl(ViewAssets files, ViewServerLimits bounds) : assets(std::move(files)), limits(bounds) {}

  void Accept();
  void Tick();
  void Broadcast();
  void Shutdown();
  size_t LiveSessions();

  asio::io_context io{1};
  tcp::acceptor acceptor{io};
  asio::steady_timer ticker{io};
  asio::steady_timer acceptPause{io};
  std::thread thread;
  const ViewAssets assets;
  const ViewServerLimits limits;
  uint16_t port = 0;

  std::mutex latestMutex;  // held only to swap or copy the pointer
  std::shared_ptr<const ViewSnapshot> latest;

  // Server thread only.
  std::list<std::weak_ptr<ViewSession>> sessions;
  bool stopping = false;
  uint64_t messageFrame = std::numeric_limits<uint64_t>::max();
  std::shared_ptr<const std::string> message;  // the newest snapshot as one event
};

// One connection: requests for files (keep-alive) until it asks for the stream, which it then
// keeps to the end.
class ViewSession : public std::enable_shared_from_this<ViewSession> {
 public:
  ViewSession(ViewServer::Impl &server, tcp::socket socket)
      : server_(server), stream_(std::move(socket)), buffer_(server.limits.maxHeaderBytes) {}

  void Start() { ReadRequest(); }
  bool Streaming() const { return streaming_; }

  void Close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream_.close();
  }

  // Sends the newest event unless the previous one is still on its way: a slow viewer skips.
  void Send(const std::shared_ptr<const std::string> &message, uint64_t frame) {
    if (!streaming_ || writing_ || frame == sentFrame_) return;
    writing_ = true;
    sentFrame_ = frame;
    inFlight_ = message;
    stream_.expires_after(server_.limits.idle);  // a viewer that takes nothing for this long is dropped
    asio::async_write(stream_, asio::buffer(*inFlight_),
                      [self = shared_from_this()](beast::error_code ec, std::size_t) {
                        self->writing_ = false;
                        self->inFlight_.reset();
                        if (ec) self->Close();
                      });
  }

 private:
  void ReadRequest() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(server_.limits.maxHeaderBytes));
    parser_->body_limit(0);
    stream_.expires_after(server_.limits.idle);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code ec, std::size_t) { self->OnRequest(ec); });
  }

  void OnRequest(beast::error_code ec) {
    if (ec == http::error::header_limit || ec == http::error::buffer_overflow) {
      return Answer(http::status::request_header_fields_too_large, 11, false);
    }
    if (ec) return Close();
    const http::request<http::empty_body> &request = parser_->get();
    std::string_view host;
    if (request.count(http::field::host) == 1) host = View(request[http::field::host]);
    const ViewRoute route = RouteViewRequest(View(request.method_string()), View(request.target()), host, server_.port);
    if (route.kind == ViewRoute::Stream) return StartStream(request.version());
    if (route.kind == ViewRoute::Refused) {
      return Answer(static_cast<http::status>(route.status), request.version(), false);
    }
    auto response = std::make_shared<http::response<http::string_body>>(http::status::ok, request.version());
    SetCommonHeaders(*response);
    response->set(http::field::content_type, std::string(route.file->contentType));
    response->body() = server_.assets.find(route.file->path)->second;
    response->keep_alive(request.keep_alive());
    response->prepare_payload();
    Write(response);
  }

  void Answer(http::status status, unsigned version, bool keepAlive) {
    auto response = std::make_shared<http::response<http::string_body>>(status, version);
    SetCommonHeaders(*response);
    response->set(http::field::content_type, "text/plain; charset=utf-8");
    response->body() = std::to_string(static_cast<int>(status)) + " " + std::string(View(response->reason())) + "\n";
    response->keep_alive(keepAlive);
    response->prepare_payload();
    Write(response);
  }

  template <typename Response>
  void Write(const std::shared_ptr<Response> &response) {
    stream_.expires_after(server_.limits.idle);
    http::async_write(stream_, *response, [self = shared_from_this(), response](beast::error_code ec, std::size_t) {
      if (ec || !response->keep_alive()) return self->Close();
      self->ReadRequest();
    });
  }

  // The answer's head without a length: the events follow until either side closes.
  void StartStream(unsigned version) {
    header_.emplace(http::status::ok, version);
    SetCommonHeaders(*header_);
    header_->set(http::field::content_type, "text/event-stream");
    header_->keep_alive(false);
    serializer_.emplace(*header_);
    // Events leave at once, and a viewer that takes nothing holds a few of them, not megabytes.
    beast::error_code ignored;
    stream_.socket().set_option(tcp::no_delay(true), ignored);
    stream_.socket().set_option(asio::socket_base::send_buffer_size(64 * 1024), ignored);
    stream_.expires_after(server_.limits.idle);
    http::async_write_header(stream_, *serializer_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
      if (ec) return self->Close();
      self->stream_.expires_never();
      self->streaming_ = true;
      self->WatchForClose();
      if (self->server_.message) self->Send(self->server_.message, self->server_.messageFrame);
    });
  }

  // A viewer sends nothing more: reading tells at once when it has gone, and keeps the session
  // alive until then.
  void WatchForClose() {
    stream_.socket().async_read_some(asio::buffer(scratch_),
                                     [self = shared_from_this()](beast::error_code ec, std::size_t) {
                                       if (ec) return self->Close();
                                       self->WatchForClose();
                                     });
  }

  ViewServer::Impl &server_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::empty_body>> parser_;
  std::optional<http::response<http::empty_body>> header_;
  std::optional<http::response_serializer<http::empty_body>> serializer_;
  bool streaming_ = false;
  bool writing_ = false;
  uint64_t sentFrame_ = std::numeric_limits<uint64_t>::max();
  std::shared_ptr<const std::string> inFlight_;
  char scratch_[512];
};

size_t ViewServer::Impl::LiveSessions() {
  sessions.remove_if([](const std::weak_ptr<ViewSession> &s) { return s.expired(); });
  return sessions.size();
}

void ViewServer::Impl::Accept() {
  acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
    if (stopping) return;
    if (ec == asio::error::no_descriptors || ec == asio::error::no_buffer_space || ec == asio::error::no_memory) {
      // Out of descriptors or memory: try again shortly instead of spinning.
      acceptPause.expires_after(std::chrono::milliseconds(50));
      acceptPause.async_wait([this](beast::error_code waited) {
        if (!waited && !stopping) Accept();
      });
      return;
    }
    if (ec) return Accept();  // a client that went away before it was taken
    if (LiveSessions() >= limits.maxConnections) {
      beast::error_code ignored;
      socket.close(ignored);  // full: dropped at once, the others are served
    } else {
      auto session = std::make_shared<ViewSession>(*this, std::move(socket));
      sessions.push_back(session);
      session->Start();
    }
    Accept();
  });
}

void ViewServer::Impl::Broadcast() {
  std::shared_ptr<const ViewSnapshot> snapshot;
  {
    std::lock_guard<std::mutex> lock(latestMutex);
    snapshot = latest;
  }
  if (!snapshot) return;
  bool anyStream = false;
  for (const auto &weak : sessions) {
    const auto session = weak.lock();
    anyStream = anyStream || (session && session->Streaming());
  }
  if (!anyStream) return;
  if (!message || snapshot->frame != messageFrame) {
    message = std::make_shared<const std::string>("data: " + ViewJson(*snapshot) + "\n\n");
    messageFrame = snapshot->frame;
  }
  for (const auto &weak : sessions) {
    if (const auto session = weak.lock()) session->Send(message, messageFrame);
  }
}

void ViewServer::Impl::Tick() {
  ticker.expires_after(limits.sendPeriod);
  ticker.async_wait([this](beast::error_code ec) {
    if (ec || stopping) return;
    try {
      Broadcast();
    } catch (const std::exception &e) {
      std::cerr << "vantrels-host: view: " << e.what() << std::endl;
    }
    Tick();
  });
}

void ViewServer::Impl::Shutdown() {
  stopping = true;
  beast::error_code ignored;
  acceptor.close(ignored);
  ticker.cancel();
  acceptPause.cancel();
  for (const auto &weak : sessions) {
    if (const auto session = weak.lock()) session->Close();
  }
}

ViewServer::ViewServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

std::unique_ptr<ViewServer> ViewServer::Start(uint16_t port, ViewAssets assets, std::string &error,
                                              ViewServerLimits limits) {
  auto impl = std::make_unique<Impl>(std::move(assets), limits);
  const tcp::endpoint endpoint(asio::ip::address_v4::loopback(), port);
  beast::error_code ec;
  impl->acceptor.open(endpoint.protocol(), ec);
#if !defined(_WIN32)
  // A restarted host gets its port back at once; on Windows the same option would let another
  // program take the port over, and a closed port is free again anyway.
  if (!ec) impl->acceptor.set_option(asio::socket_base::reuse_address(true), ec);
#endif
  if (!ec) impl->acceptor.bind(endpoint, ec);
  if (!ec) impl->acceptor.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    error = "cannot serve the view on 127.0.0.1:" + std::to_string(port) + ": " + ec.message();
    return nullptr;
  }
  impl->port = impl->acceptor.local_endpoint(ec).port();
  impl->Accept();
  impl->Tick();
  Impl *raw = impl.get();
  impl->thread = std::thread([raw] {
    for (;;) {
      try {
        raw->io.run();  // returns once Shutdown has closed everything
        return;
      } catch (const std::exception &e) {
        std::cerr << "vantrels-host: view: " << e.what() << std::endl;
      }
    }
  });
  return std::unique_ptr<ViewServer>(new ViewServer(std::move(impl)));
}

ViewServer::~ViewServer() {
  asio::post(impl_->io, [impl = impl_.get()] { impl->Shutdown(); });
  if (impl_->thread.joinable()) impl_->thread.join();
}

uint16_t ViewServer::Port() const {
  return impl_->port;
}

std::string ViewServer::Url() const {
  return "http://127.0.0.1:" + std::to_string(impl_->port) + "/";
}

void ViewServer::Publish(std::shared_ptr<const ViewSnapshot> snapshot) {
  {
    std::lock_guard<std::mutex> lock(impl_->latestMutex);
    impl_->latest.swap(snapshot);
  }
  // The older snapshot is freed here, outside the lock.
}

}  // namespace vantrels::host
