// A tracking server (or any local process) flooding the port while frames run: good and bad
// datagrams mixed, far more than the driver takes per frame. The driver must keep its frames
// short, keep its memory flat, and apply every good message the socket delivered, in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "driver/device_provider.h"
#include "driver/frame_loop.h"
#include "driver/steady_clock.h"
#include "host/minimal_host.h"
#include "support/datagrams.h"
#include "support/udp_peer.h"

namespace vantrels {
namespace {

// Sees every datagram the driver takes, to count them per frame and follow the sequence
// numbers the sender put into the reserved header bytes of its good messages.
struct CountingLink {
  UdpEndpoint &endpoint;
  int takenThisFrame = 0;
  int mostInOneFrame = 0;
  uint64_t received = 0;
  uint64_t goodReceived = 0;
  int64_t lastSequence = -1;
  bool inOrder = true;

  int32_t Receive(uint8_t *buffer, int32_t capacity) {
    const int32_t n = endpoint.Receive(buffer, capacity);
    if (n < 0) return n;
    ++received;
    mostInOneFrame = std::max(mostInOneFrame, ++takenThisFrame);
    if (n >= 16 && std::memcmp(buffer, "VNTR", 4) == 0 && buffer[15] == 0xA5) {  // good: sequence in 13, 14
      ++goodReceived;
      const int64_t sequence = buffer[13] | buffer[14] << 8 | static_cast<int64_t>(buffer[7] & 0x7F) << 16;
      inOrder = inOrder && sequence > lastSequence;
      lastSequence = sequence;
    }
    return n;
  }
  bool HasPeer() const { return endpoint.HasPeer(); }
  void SendToPeer(const uint8_t *data, size_t size) { endpoint.SendToPeer(data, size); }
};

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

// Datagrams the kernel dropped for the loopback socket on this port.
uint64_t SocketDrops(uint16_t port) {
  std::ifstream udp("/proc/net/udp");
  std::string line;
  char local[32];
  std::snprintf(local, sizeof(local), "0100007F:%04X", port);
  while (std::getline(udp, line)) {
    if (line.find(local) == std::string::npos) continue;
    std::istringstream fields(line);
    std::string field, last;
    while (fields >> field) last = field;
    return std::stoull(last);
  }
  return 0;
}

TEST(Flood, FramesStayBoundedAndEveryDeliveredGoodMessageIsApplied) {
  host::MinimalHost minimal;
  const uint16_t port = testing::FreePort();
  minimal.port = port;
  DeviceProvider provider;
  ASSERT_EQ(provider.Init(&minimal), vr::VRInitError_None);

  constexpr int kDatagrams = 200'000;
  std::atomic<bool> done{false};
  std::atomic<int> goodSent{0};
  std::atomic<int> allSent{0};
  std::thread sender([&] {
    testing::UdpPeer peer;
    std::mt19937 random(21110);
    testing::Poses message;
    message.smoothingMs = 0;
    for (uint8_t i = 0; i <= 19; ++i) {
      testing::Record r;
      r.index = i;
      message.records.push_back(r);
    }
    std::vector<uint8_t> good = message.Bytes();
    good[15] = 0xA5;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (int i = 0; i < kDatagrams && std::chrono::steady_clock::now() < deadline; ++i) {
      if (random() % 10 < 7) {
        const int sequence = goodSent.load();
        good[13] = static_cast<uint8_t>(sequence);
        good[14] = static_cast<uint8_t>(sequence >> 8);
        good[7] = static_cast<uint8_t>((sequence >> 16) & 0x7F);  // smoothing byte, harmless
        const uint32_t stamp = static_cast<uint32_t>(sequence) * 1000u;
        std::memcpy(good.data() + 8, &stamp, 4);
        peer.SendTo(port, good);
        goodSent.fetch_add(1);
      } else {
        std::vector<uint8_t> bad(random() % 64);
        for (auto &b : bad) b = static_cast<uint8_t>(random());
        peer.SendTo(port, bad);
      }
      allSent.fetch_add(1);
    }
    done = true;
  });

  CountingLink link{provider.endpoint};
  int64_t longestFrameNs = 0;
  long residentAfterWarmup = -1;
  int frames = 0;
  uint64_t ignoredBefore = provider.ignoredCount;
  while (!done || link.takenThisFrame > 0) {
    link.takenThisFrame = 0;
    const int64_t start = SteadyNowNs();
    provider.RunFrameWith(link, start);
    longestFrameNs = std::max(longestFrameNs, SteadyNowNs() - start);
    if (++frames == 50) residentAfterWarmup = ResidentKilobytes();
  }
  sender.join();
  const uint64_t drops = SocketDrops(port);
  const long residentAtEnd = ResidentKilobytes();

  const uint64_t rejected = provider.ignoredCount - ignoredBefore;
  std::printf(
      "flood: %d datagrams sent (%d good),  %llu received, %llu dropped by the socket, %d frames, "
      "longest frame %.2f ms, at most %d datagrams in one frame, RSS %ld -> %ld kB\n",
      allSent.load(), goodSent.load(), static_cast<unsigned long long>(link.received),
      static_cast<unsigned long long>(drops), frames, static_cast<double>(longestFrameNs) / 1e6, link.mostInOneFrame,
      residentAfterWarmup, residentAtEnd);

  EXPECT_LE(link.mostInOneFrame, DeviceProvider::kMaxDatagramsPerFrame);
  EXPECT_TRUE(link.inOrder);
  // Every datagram the socket delivered was either applied as a message or rejected, and the
  // good ones were all applied.
  EXPECT_EQ(link.received - rejected, link.goodReceived);
  EXPECT_EQ(minimal.devicesAdded, 19u);
  if (residentAfterWarmup > 0) {
    EXPECT_LT(residentAtEnd - residentAfterWarmup, 8 * 1024);
  }
  provider.Cleanup();
}

}  // namespace
}  // namespace vantrels
