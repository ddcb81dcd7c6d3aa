// WinSock 2. Each open socket holds one start of the socket library, released when it is closed.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <mswsock.h>
#include <windows.h>
#include <winsock2.h>

#include <cstring>

#include "link/udp_endpoint.h"

namespace vantrels {

namespace {

// A receive that fails with WSAECONNRESET consumes one queued error; after this many in a row the
// frame stops reading, and the next frame goes on.
constexpr int kResetsSkippedPerReceive = 64;

void Discard(SOCKET s) {
  ::closesocket(s);
  ::WSACleanup();
}

}  // namespace

UdpEndpoint::~UdpEndpoint() {
  // The library is being unloaded: this runs inside DllMain, where WSACleanup must not be called.
  // Its start stays counted, which costs nothing; the socket itself is closed so that the port is
  // free for the next load.
  if (IsOpen()) ::closesocket(static_cast<SOCKET>(socketHandle));
}

bool UdpEndpoint::Open(uint16_t port) {
  if (IsOpen()) Close();

  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;

  // Not inherited: a program the host starts must not keep the port open after the driver is gone.
  SOCKET s = ::WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) {
    // Windows before 7 SP1 does not know the flag.
    s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s != INVALID_SOCKET) ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  }
  if (s == INVALID_SOCKET) {
    ::WSACleanup();
    return false;
  }

  sockaddr_in address;
  std::memset(&address, 0, sizeof(address));
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  // No address reuse: a port another socket holds must make this fail.
  if (::bind(s, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0) {
    Discard(s);
    return false;
  }

  // By default a report sent to a port where nobody listens any more (the tracking server
  // restarted on another port) makes the next receive fail with WSAECONNRESET, for ever after
  // each report. Switched off; Receive skips such errors as well, should the switch be refused.
  BOOL reportResets = FALSE;
  DWORD returned = 0;
  ::WSAIoctl(s, SIO_UDP_CONNRESET, &reportResets, sizeof(reportResets), nullptr, 0, &returned, nullptr, nullptr);

  // A blocking socket would stall the host's frame loop on the first empty receive, so a
  // socket that cannot be switched is not used at all.
  u_long nonBlocking = 1;
  if (::ioctlsocket(s, static_cast<long>(FIONBIO), &nonBlocking) != 0) {
    Discard(s);
    return false;
  }

  socketHandle = static_cast<SocketHandle>(s);
  return true;
}

void UdpEndpoint::Close() {
  if (!IsOpen()) return;
  Discard(static_cast<SOCKET>(socketHandle));
  socketHandle = kInvalidSocket;
  hasPeer = false;
}

int32_t UdpEndpoint::Receive(uint8_t *buffer, int32_t capacity) {
  if (!IsOpen() || capacity < 0) return -1;
  for (int attempt = 0; attempt < kResetsSkippedPerReceive; ++attempt) {
    sockaddr_in source;
    std::memset(&source, 0, sizeof(source));
    int sourceLength = sizeof(source);
    const int n = ::recvfrom(static_cast<SOCKET>(socketHandle), reinterpret_cast<char *>(buffer), capacity, 0,
                             reinterpret_cast<sockaddr *>(&source), &sourceLength);
    if (n != SOCKET_ERROR) {
      peerAddress = source.sin_addr.s_addr;
      peerPort = source.sin_port;
      hasPeer = true;
      return n;
    }
    // WSAEWOULDBLOCK: nothing waiting. WSAEMSGSIZE: a datagram longer than the buffer, which
    // Windows hands over cut short; it is gone, and dropped rather than used.
    if (::WSAGetLastError() != WSAECONNRESET) return -1;
  }
  return -1;
}

void UdpEndpoint::SendToPeer(const uint8_t *data, size_t size) {
  if (!IsOpen() || !hasPeer) return;
  sockaddr_in destination;
  std::memset(&destination, 0, sizeof(destination));
  destination.sin_family = AF_INET;
  destination.sin_addr.s_addr = peerAddress;
  destination.sin_port = peerPort;
  // Best effort: a report that cannot go out now is replaced by the next frame's.
  (void)::sendto(static_cast<SOCKET>(socketHandle), reinterpret_cast<const char *>(data), static_cast<int>(size), 0,
                 reinterpret_cast<const sockaddr *>(&destination), sizeof(destination));
}

}  // namespace vantrels
