// A non-blocking UDP socket on 127.0.0.1 for the benchmarks: the tracking server's side of the link,
// and the bare socket work that the frame is compared with.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vantrels::bench {

class UdpSocket {
 public:
  // Bound to 127.0.0.1 on the given port; 0 lets the system choose one.
  explicit UdpSocket(uint16_t port = 0) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_UDP);
    const sockaddr_in a = Loopback(port);
    ::bind(fd_, reinterpret_cast<const sockaddr *>(&a), sizeof(a));
  }
  ~UdpSocket() { ::close(fd_); }
  UdpSocket(const UdpSocket &) = delete;
  UdpSocket &operator=(const UdpSocket &) = delete;

  bool IsOpen() const { return fd_ >= 0; }

  uint16_t Port() const {
    sockaddr_in a{};
    socklen_t n = sizeof(a);
    ::getsockname(fd_, reinterpret_cast<sockaddr *>(&a), &n);
    return ntohs(a.sin_port);
  }

  bool SendTo(uint16_t port, const uint8_t *data, size_t size) const {
    const sockaddr_in a = Loopback(port);
    return ::sendto(fd_, data, size, MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&a), sizeof(a)) ==
           static_cast<ssize_t>(size);
  }

  // Reads and drops everything waiting; the number of datagrams.
  int Drain() const {
    uint8_t buffer[2048];
    int n = 0;
    while (::recv(fd_, buffer, sizeof(buffer), MSG_DONTWAIT) >= 0) ++n;
    return n;
  }

  int fd() const { return fd_; }

  static sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
  }

 private:
  int fd_ = -1;
};

// A port that was free a moment ago.
inline uint16_t FreePort() {
  const UdpSocket probe;
  return probe.Port();
}

}  // namespace vantrels::bench
