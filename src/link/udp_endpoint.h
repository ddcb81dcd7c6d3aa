#pragma once

#include <cstddef>
#include <cstdint>

#include "link/socket_platform.h"

namespace vantrels {

// The driver's one network contact: an IPv4 UDP socket bound to 127.0.0.1. It never
// connects; it answers to whoever sent the most recent datagram.
class UdpEndpoint {
 public:
  UdpEndpoint() = default;
  UdpEndpoint(const UdpEndpoint &) = delete;
  UdpEndpoint &operator=(const UdpEndpoint &) = delete;
  // Closes the socket. On Windows this runs while the library is being unloaded, inside the
  // loader's call, where the socket library must not be released: only the socket is closed.
  ~UdpEndpoint();

  // Binds 127.0.0.1:port (host byte order), non-blocking. An open socket is replaced.
  bool Open(uint16_t port);
  void Close();
  // The size of the next datagram (0 or more), or -1 when none is waiting, on any failure,
  // for a datagram longer than `capacity` (which is dropped) and on a closed endpoint.
  int32_t Receive(uint8_t *buffer, int32_t capacity);
  // Sends to the sender of the last datagram; silently nothing without one.
  void SendToPeer(const uint8_t *data, size_t size);

  bool IsOpen() const { return socketHandle != kInvalidSocket; }
  bool HasPeer() const { return hasPeer; }

  SocketHandle socketHandle = kInvalidSocket;
  bool hasPeer = false;
  uint32_t peerAddress = 0;  // network byte order, as received
  uint16_t peerPort = 0;     // network byte order, as received
};

}  // namespace vantrels
