#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

namespace vantrels {

// An in-memory stand-in for the UDP endpoint: datagrams pushed in come out of Receive in
// order, and whatever the driver sends is kept. Lets tests and fuzzing drive whole frames
// without a socket.
class DatagramQueue {
 public:
  void Push(const uint8_t *data, size_t size) { pending.emplace_back(data, data + size); }
  void Push(const std::vector<uint8_t> &datagram) { pending.push_back(datagram); }

  int32_t Receive(uint8_t *buffer, int32_t capacity) {
    if (pending.empty()) return -1;
    std::vector<uint8_t> datagram = std::move(pending.front());
    pending.pop_front();
    if (capacity < 0 || datagram.size() > static_cast<size_t>(capacity)) return -1;  // too long: lost
    if (!datagram.empty()) std::memcpy(buffer, datagram.data(), datagram.size());
    hasPeer = true;
    return static_cast<int32_t>(datagram.size());
  }

  bool HasPeer() const { return hasPeer; }

  void SendToPeer(const uint8_t *data, size_t size) {
    if (hasPeer) sent.emplace_back(data, data + size);
  }

  std::deque<std::vector<uint8_t>> pending;
  std::vector<std::vector<uint8_t>> sent;
  bool hasPeer = false;
};

}  // namespace vantrels
