#pragma once

// The built driver module loaded from a driver folder the way SteamVR loads it, in the substitute host,
// and fed over loopback UDP.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "host/loaded_driver.h"
#include "host/substitute_host.h"
#include "support/datagrams.h"
#include "support/udp_peer.h"

namespace vantrels::testing {

// The driver folder this build made, or the one named by VANTRELS_TEST_DRIVER_DIR (the portable leg of
// scripts/test runs the module tests against build/portable).
inline std::filesystem::path DriverDir() {
  const char *dir = std::getenv("VANTRELS_TEST_DRIVER_DIR");
  return dir != nullptr && *dir != '\0' ? std::filesystem::path(dir) : std::filesystem::path(VANTRELS_DRIVER_DIR);
}

struct DriverSession {
  explicit DriverSession(const std::filesystem::path &folder = DriverDir(), host::HostOptions options = {},
                         uint16_t listenPort = FreePort())
      : host(std::move(options)), port(listenPort) {
    std::string error;
    driver = host::LoadedDriver::Load(folder, error);
    EXPECT_NE(driver, nullptr) << error;
    if (driver) provider = host.CallProvider(*driver, error);
    EXPECT_NE(provider, nullptr) << error;
    host.SetSetting("driver_vantrels", "port", port);
  }
  ~DriverSession() {
    if (initialised) host.CallCleanup(provider);
  }
  vr::EVRInitError Init() {
    const vr::EVRInitError result = provider ? host.CallInit(provider) : vr::VRInitError_Unknown;
    initialised = result == vr::VRInitError_None;
    return result;
  }
  // Frames, a little apart so that what was sent has arrived (loopback delivers at once, but be patient).
  void Frames(int n) {
    for (int i = 0; i < n; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      host.BeginFrame(0.011 * i);
      host.CallRunFrame(provider);
    }
  }
  size_t LinesWith(const std::string &text) const {
    size_t n = 0;
    for (const auto &line : host.LogLines()) n += line.find(text) != std::string::npos;
    return n;
  }

  host::SubstituteHost host;
  std::unique_ptr<host::LoadedDriver> driver;
  vr::IServerTrackedDeviceProvider *provider = nullptr;
  uint16_t port;
  bool initialised = false;
};

// A message with one valid record, battery 80, for each index.
inline Poses Body(std::initializer_list<uint8_t> indices) {
  Poses m;
  for (uint8_t i : indices) {
    Record &r = m.records.emplace_back();
    r.index = i;
    r.battery = 80;
  }
  return m;
}

}  // namespace vantrels::testing
