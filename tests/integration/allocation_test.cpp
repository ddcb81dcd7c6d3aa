// A steady-state frame of the real driver must not touch the heap: 19 live trackers, one POSES
// datagram per frame, the host pose report going out. Every allocation in the process is
// counted while the frames run, so the test itself sends from prepared buffers only.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "host/loaded_driver.h"
#include "host/minimal_host.h"
#include "support/datagrams.h"
#include "support/driver_dir.h"
#include "support/udp_peer.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<uint64_t> allocations{0};

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// Part of every sanitizer runtime; declared here because not every compiler ships its header.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void *, size_t),
                                                         void (*free_hook)(const volatile void *));

namespace {
void OnMalloc(const volatile void *, size_t) {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}
void OnFree(const volatile void *) {}
}  // namespace

static void InstallCounter() {
  __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
}
#else
#include <dlfcn.h>

// Without a sanitizer, malloc itself is interposed; the driver's operator new ends in malloc.
extern "C" void *malloc(size_t size) {
  using Malloc = void *(*)(size_t);
  static Malloc real = reinterpret_cast<Malloc>(dlsym(RTLD_NEXT, "malloc"));
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
  return real(size);
}
static void InstallCounter() {}
#endif

namespace vantrels {
namespace {

TEST(SteadyStateFrame, AllocatesNothing) {
  InstallCounter();
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
  message.flags = 0x03;  // prediction and adaptive smoothing: every filter stage runs
  for (uint8_t i = 0; i <= 19; ++i) {
    testing::Record r;
    r.index = i;
    r.flags = i % 4 == 0 ? 0x05 : 0x01;  // some head-relative points
    r.battery = 70;
    r.headOffset[1] = -0.1f;
    message.records.push_back(r);
  }
  testing::UdpPeer server;
  std::vector<uint8_t> bytes = message.Bytes();
  uint32_t stamp = 0;
  auto sendOne = [&] {
    stamp += 11'111;
    std::memcpy(bytes.data() + 8, &stamp, sizeof(stamp));
    for (size_t k = 1; k < message.records.size(); ++k) {  // move the points a little
      float y;
      std::memcpy(&y, bytes.data() + 16 + 44 * k + 8, 4);
      y += 0.0005f;
      std::memcpy(bytes.data() + 16 + 44 * k + 8, &y, 4);
    }
    server.SendTo(port, bytes);
  };

  // Warm-up: trackers are created and activated, the render model chosen, first lines logged.
  for (int i = 0; i < 200; ++i) {
    sendOne();
    provider->RunFrame();
  }
  ASSERT_EQ(minimal.devicesAdded, 19u);
  const uint64_t posesBefore = minimal.poseUpdates;

  counting = true;
  for (int i = 0; i < 1000; ++i) {
    sendOne();
    provider->RunFrame();
  }
  counting = false;

  EXPECT_EQ(allocations.load(), 0u);
  EXPECT_EQ(minimal.poseUpdates - posesBefore, 19u * 1000u);
  EXPECT_EQ(server.Drain().size() > 0, true);  // the reports went out
  provider->Cleanup();
}

}  // namespace
}  // namespace vantrels
