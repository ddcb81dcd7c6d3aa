#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <mswsock.h>
#include <windows.h>
#include <winsock2.h>

#include <algorithm>

#include "sim_socket.h"

namespace vantrels::sim {

namespace {

SOCKET AsSocket(std::intptr_t handle) {
  return static_cast<SOCKET>(handle);
}

}  // namespace

SimSocket::~SimSocket() {
  if (handle_ == -1) return;
  closesocket(AsSocket(handle_));
  WSACleanup();
}

const char *SimSocket::Open() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return "cannot start WinSock";
  const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) {
    const int saved = WSAGetLastError();
    WSACleanup();
    WSASetLastError(saved);
    return "cannot create a UDP socket";
  }
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  local.sin_port = 0;
  u_long nonBlocking = 1;
  if (bind(s, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0 ||
      ioctlsocket(s, static_cast<long>(FIONBIO), &nonBlocking) != 0) {
    const int saved = WSAGetLastError();
    closesocket(s);
    WSACleanup();
    WSASetLastError(saved);
    return "cannot bind a UDP socket on 127.0.0.1";
  }
  // Until the driver listens, each datagram sent to its port would make a later receive fail.
  BOOL reportResets = FALSE;
  DWORD returned = 0;
  WSAIoctl(s, SIO_UDP_CONNRESET, &reportResets, sizeof reportResets, nullptr, 0, &returned, nullptr, nullptr);
  handle_ = static_cast<std::intptr_t>(s);
  return nullptr;
}

bool SimSocket::SendTo(uint16_t port, const uint8_t *data, size_t size) {
  sockaddr_in driver{};
  driver.sin_family = AF_INET;
  driver.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  driver.sin_port = htons(port);
  const int n = sendto(AsSocket(handle_), reinterpret_cast<const char *>(data), static_cast<int>(size), 0,
                       reinterpret_cast<const sockaddr *>(&driver), sizeof driver);
  return n == static_cast<int>(size);
}

std::ptrdiff_t SimSocket::Receive(uint8_t *buffer, size_t capacity) {
  const int n = recv(AsSocket(handle_), reinterpret_cast<char *>(buffer), static_cast<int>(capacity), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

void SimSocket::Wait(int64_t waitNs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(AsSocket(handle_), &readable);
  const int64_t us = std::min<int64_t>(waitNs / 1000, 3'600'000'000);
  timeval timeout{static_cast<long>(us / 1'000'000), static_cast<long>(us % 1'000'000)};
  select(0, &readable, nullptr, nullptr, &timeout);
}

std::string SimSocket::LastError() const {
  return "WinSock error " + std::to_string(WSAGetLastError());
}

}  // namespace vantrels::sim
