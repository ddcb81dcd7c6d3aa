// Berkeley sockets. There is no socket library to start or stop on POSIX systems.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "link/udp_endpoint.h"

namespace vantrels {

UdpEndpoint::~UdpEndpoint() {
  Close();
}

bool UdpEndpoint::Open(uint16_t port) {
  if (IsOpen()) Close();

  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) return false;

  sockaddr_in address;
  std::memset(&address, 0, sizeof(address));
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  // No address reuse: a port another socket holds must make this fail.
  if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0) {
    ::close(fd);
    return false;
  }

  // A blocking socket would stall the host's frame loop on the first empty receive, so a
  // socket that cannot be switched is not used at all.
  const int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    ::close(fd);
    return false;
  }

  socketHandle = fd;
  return true;
}

void UdpEndpoint::Close() {
  if (!IsOpen()) return;
  ::close(socketHandle);
  socketHandle = kInvalidSocket;
  hasPeer = false;
}

int32_t UdpEndpoint::Receive(uint8_t *buffer, int32_t capacity) {
  if (!IsOpen() || capacity < 0) return -1;
  sockaddr_in source;
  std::memset(&source, 0, sizeof(source));
  socklen_t sourceLength = sizeof(source);
  // MSG_TRUNC makes the call return the datagram's real length, so a datagram cut short to
  // fit the buffer is recognised and dropped rather than taken as a shorter message.
  const ssize_t n = ::recvfrom(socketHandle, buffer, static_cast<size_t>(capacity), MSG_TRUNC | MSG_DONTWAIT,
                               reinterpret_cast<sockaddr *>(&source), &sourceLength);
  if (n < 0 || n > capacity) return -1;
  peerAddress = source.sin_addr.s_addr;
  peerPort = source.sin_port;
  hasPeer = true;
  return static_cast<int32_t>(n);
}

void UdpEndpoint::SendToPeer(const uint8_t *data, size_t size) {
  if (!IsOpen() || !hasPeer) return;
  sockaddr_in destination;
  std::memset(&destination, 0, sizeof(destination));
  destination.sin_family = AF_INET;
  destination.sin_addr.s_addr = peerAddress;
  destination.sin_port = peerPort;
  // Best effort: a report that cannot go out now is replaced by the next frame's.
  (void)::sendto(socketHandle, data, size, MSG_DONTWAIT | MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr *>(&destination), sizeof(destination));
}

}  // namespace vantrels
