#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "sim_socket.h"

namespace vantrels::sim {

SimSocket::~SimSocket() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

const char *SimSocket::Open() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return "cannot create a UDP socket";
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  local.sin_port = 0;
  if (bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0 ||
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
    const int saved = errno;
    close(fd);
    errno = saved;
    return "cannot bind a UDP socket on 127.0.0.1";
  }
  handle_ = fd;
  return nullptr;
}

bool SimSocket::SendTo(uint16_t port, const uint8_t *data, size_t size) {
  sockaddr_in driver{};
  driver.sin_family = AF_INET;
  driver.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  driver.sin_port = htons(port);
  const ssize_t n =
      sendto(static_cast<int>(handle_), data, size, 0, reinterpret_cast<const sockaddr *>(&driver), sizeof driver);
  return n == static_cast<ssize_t>(size);
}

std::ptrdiff_t SimSocket::Receive(uint8_t *buffer, size_t capacity) {
  return recv(static_cast<int>(handle_), buffer, capacity, 0);
}

void SimSocket::Wait(int64_t waitNs) {
  const timespec timeout{static_cast<time_t>(waitNs / 1'000'000'000), static_cast<long>(waitNs % 1'000'000'000)};
  pollfd pfd{static_cast<int>(handle_), POLLIN, 0};
  ppoll(&pfd, 1, &timeout, nullptr);
}

std::string SimSocket::LastError() const {
  return std::strerror(errno);
}

}  // namespace vantrels::sim
