#pragma once

// A plain UDP socket on loopback for tests: sends datagrams to the driver and reads what comes back.

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <vector>

namespace vantrels::testing {

#if defined(_WIN32)
using SocketFd = SOCKET;
inline int poll(pollfd *p, unsigned long n, int timeoutMs) {
  return ::WSAPoll(p, n, timeoutMs);
}
// The socket library is started once per peer and released with it.
struct SocketLibrary {
  SocketLibrary() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~SocketLibrary() { ::WSACleanup(); }
};
inline int CloseSocket(SOCKET s) {
  return ::closesocket(s);
}
constexpr int kSocketFlags = 0;
#else
using ::poll;
using SocketFd = int;
struct SocketLibrary {};
inline int CloseSocket(int fd) {
  return ::close(fd);
}
constexpr int kSocketFlags = SOCK_CLOEXEC;
#endif

class UdpPeer {
 public:
  explicit UdpPeer(const char *bindAddress = "127.0.0.1", uint16_t port = 0) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | kSocketFlags, IPPROTO_UDP);
    sockaddr_in a = Address(bindAddress, port);
    ::bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof(a));
  }
  ~UdpPeer() { CloseSocket(fd_); }
  UdpPeer(const UdpPeer &) = delete;
  UdpPeer &operator=(const UdpPeer &) = delete;

  uint16_t Port() const {
    sockaddr_in a{};
    socklen_t n = sizeof(a);
    ::getsockname(fd_, reinterpret_cast<sockaddr *>(&a), &n);
    return ntohs(a.sin_port);
  }

  bool SendTo(uint16_t port, const std::vector<uint8_t> &data, const char *address = "127.0.0.1") const {
    sockaddr_in a = Address(address, port);
    return ::sendto(fd_, reinterpret_cast<const char *>(data.data()), static_cast<int>(data.size()), 0,
                    reinterpret_cast<sockaddr *>(&a), sizeof(a)) == static_cast<ssize_t>(data.size());
  }

  // The next datagram within the timeout, or nothing.
  std::optional<std::vector<uint8_t>> Receive(int timeoutMs = 200) const {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
    std::vector<uint8_t> buffer(65536);
    const ssize_t n = ::recv(fd_, reinterpret_cast<char *>(buffer.data()), static_cast<int>(buffer.size()), 0);
    if (n < 0) return std::nullopt;
    buffer.resize(static_cast<size_t>(n));
    return buffer;
  }

  // Everything already waiting.
  std::vector<std::vector<uint8_t>> Drain() const {
    std::vector<std::vector<uint8_t>> all;
    while (auto d = Receive(0)) all.push_back(*d);
    return all;
  }

  SocketFd fd() const { return fd_; }

  static sockaddr_in Address(const char *address, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &a.sin_addr);
    return a;
  }

 private:
  SocketLibrary library_;
  SocketFd fd_;
};

// A UDP port for the code under test to bind. Ports that bind(0) hands out come from the ephemeral
// range, where any socket of a test running beside this one may take a port between its release here
// and the bind that follows; so the port is picked below that range, and its number is held as a TCP
// port until this program ends, which keeps every other test program from picking it too.
inline uint16_t FreePort() {
  [[maybe_unused]] static SocketLibrary library;
  static std::vector<SocketFd> held;
  static std::mt19937 random{std::random_device{}()};
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const auto port = static_cast<uint16_t>(std::uniform_int_distribution<int>(20000, 32000)(random));
    const SocketFd tcp = ::socket(AF_INET, SOCK_STREAM | kSocketFlags, IPPROTO_TCP);
    const sockaddr_in a = UdpPeer::Address("127.0.0.1", port);
    if (::bind(tcp, reinterpret_cast<const sockaddr *>(&a), sizeof(a)) != 0) {
      CloseSocket(tcp);
      continue;
    }
    UdpPeer probe("127.0.0.1", port);
    if (probe.Port() == port) {
      held.push_back(tcp);
      return port;
    }
    CloseSocket(tcp);
  }
  return 0;  // nothing free: the bind that follows fails and says so
}

}  // namespace vantrels::testing
