// A steady-state frame of the real driver must not touch the heap: 19 live trackers, POSES datagrams
// arriving (some rejected, batteries changing), the host pose report going out. Every allocation in
// the process is counted while the frames run, so the test itself sends from prepared buffers only.
#include <gtest/gtest.h>

#include "host/allocation_counter.h"
#include "host/loaded_driver.h"
#include "host/minimal_host.h"
#include "support/datagrams.h"
#include "support/driver_session.h"
#include "support/udp_peer.h"

namespace vantrels {
namespace {

TEST(SteadyStateFrame, AllocatesNothing) {
  std::string error;
  auto driver = host::LoadedDriver::Load(testing::DriverDir(), error);
  ASSERT_NE(driver, nullptr) << error;
  auto *provider = driver->Provider(error);
  ASSERT_NE(provider, nullptr) << error;
  host::MinimalHost minimal;
  const uint16_t port = testing::FreePort();
  minimal.port = port;
  ASSERT_EQ(provider->Init(&minimal), vr::VRInitError_None);

  testing::Poses message;
  message.smoothingMs = 20;
  message.flags = 0x03;              // prediction and adaptive smoothing: every filter stage runs
  for (uint8_t i = 0; i <= 19; ++i)  // some head-relative points
    message.records.push_back({i, static_cast<uint8_t>(i % 4 == 0 ? 0x05 : 0x01), 70, {}, {0, 0, 0, 1}, {0, -0.1f, 0}});
  testing::UdpPeer server;
  // Every frame a datagram, each a little later with its points a little higher; every tenth also a
  // rejected one and another battery level. All prepared before the frames run.
  std::vector<std::vector<uint8_t>> datagrams;
  for (int i = 0; i < 1200; ++i) {
    message.serverTimeUs += 11'111;
    for (testing::Record &r : message.records) {
      r.position[1] += 0.0005f;
      if (i % 10 == 0) r.battery = static_cast<uint8_t>(50 + i / 10 % 50);
    }
    datagrams.push_back(message.Bytes());
  }
  const std::vector<uint8_t> rejected(7, 0);
  auto frame = [&](int i) {
    server.SendTo(port, datagrams[static_cast<size_t>(i)]);
    if (i % 10 == 0) server.SendTo(port, rejected);
    provider->RunFrame();
  };

  // Warm-up: trackers created and activated, the render model chosen, the five logged rejections.
  for (int i = 0; i < 200; ++i) frame(i);
  ASSERT_EQ(minimal.devicesAdded, 19u);
  const uint64_t posesBefore = minimal.poseUpdates;
  const uint64_t before = host::AllocationsCounted();
  host::CountAllocations(true);
  for (int i = 200; i < 1200; ++i) frame(i);
  host::CountAllocations(false);

  EXPECT_EQ(host::AllocationsCounted() - before, 0u);
  EXPECT_EQ(minimal.poseUpdates - posesBefore, 19u * 1000u);
  EXPECT_FALSE(server.Drain().empty());  // the reports went out
  provider->Cleanup();
}

}  // namespace
}  // namespace vantrels
