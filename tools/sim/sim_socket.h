// The simulator's one UDP socket on 127.0.0.1, the platform's way: POSES go out on it and the
// driver's host pose reports, addressed to where the POSES came from, come back on it. One
// implementation per platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrels::sim {

class SimSocket {
 public:
  SimSocket() = default;
  ~SimSocket();
  SimSocket(const SimSocket &) = delete;
  SimSocket &operator=(const SimSocket &) = delete;

  // Binds 127.0.0.1 on a port the system chooses, non-blocking. Null when done, otherwise what
  // could not be done (LastError() says why).
  const char *Open();
  // Sends one datagram to 127.0.0.1:port; true when all of it went out.
  bool SendTo(uint16_t port, const uint8_t *data, size_t size);
  // The size of the next waiting datagram, or -1 when none is waiting or on an error (nobody
  // listening on the driver's port yet, for instance).
  std::ptrdiff_t Receive(uint8_t *buffer, size_t capacity);
  // Returns when a datagram is waiting, a signal arrived or waitNs nanoseconds have passed.
  void Wait(int64_t waitNs);
  // The system's text for the last failed call.
  std::string LastError() const;

 private:
  std::intptr_t handle_ = -1;
};

}  // namespace vantrels::sim
