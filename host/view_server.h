// The live view's web server: the page's files and a stream of Server-Sent Events carrying the
// newest snapshot, on 127.0.0.1 only, on a thread of its own.
//
// The frame loop only hands over its newest snapshot (Publish: a pointer swap under a lock the
// server holds just as briefly); it never waits for a viewer. Each viewer gets at most one message
// in flight: a slow one skips to the newest snapshot, a stalled one is dropped. Connections, header
// sizes and idle times are bounded, so that no client can use up the host's memory or threads.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "host/view_assets.h"
#include "host/view_state.h"

namespace vantrels::host {

struct ViewServerLimits {
  size_t maxConnections = 32;                // more are closed as soon as they are accepted
  size_t maxHeaderBytes = 8192;              // a larger request head is answered with 431
  std::chrono::milliseconds idle{10000};     // to send a request, or to take a message
  std::chrono::milliseconds sendPeriod{15};  // how often viewers get the newest snapshot
};

class ViewServer {
 public:
  // Listens on 127.0.0.1:port (0: a free port); null with a message when it cannot.
  static std::unique_ptr<ViewServer> Start(uint16_t port, ViewAssets assets, std::string &error,
                                           ViewServerLimits limits = {});
  // Closes every connection and ends the thread.
  ~ViewServer();
  ViewServer(const ViewServer &) = delete;
  ViewServer &operator=(const ViewServer &) = delete;

  uint16_t Port() const;
  std::string Url() const;  // http://127.0.0.1:PORT/
  void Publish(std::shared_ptr<const ViewSnapshot> snapshot);

  struct Impl;

 private:
  explicit ViewServer(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vantrels::host
