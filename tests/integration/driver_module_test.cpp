// The built driver module, loaded from a driver folder the way SteamVR loads it, talking real
// UDP on loopback.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <winsock2.h>  // and windows.h after it
#else
#include <dirent.h>
#endif

#include <chrono>
#include <filesystem>
#include <thread>

#include "host/loaded_driver.h"
#include "host/substitute_host.h"
#include "support/datagrams.h"
#include "support/driver_dir.h"
#include "support/udp_peer.h"

namespace vantrels {
namespace {

namespace fs = std::filesystem;
using testing::Poses;
using testing::Record;
using testing::UdpPeer;

struct Session {
  explicit Session(const fs::path &folder = testing::DriverDir(), host::HostOptions options = {})
      : host(std::move(options)) {
    std::string error;
    driver = host::LoadedDriver::Load(folder, error);
    EXPECT_NE(driver, nullptr) << error;
    if (!driver) return;
    provider = host.CallProvider(*driver, error);
    EXPECT_NE(provider, nullptr) << error;
    port = testing::FreePort();
    host.SetSetting("driver_vantrels", "port", port);
  }
  ~Session() {
    if (initialised) host.CallCleanup(provider);
  }
  vr::EVRInitError Init() {
    const vr::EVRInitError result = host.CallInit(provider);
    initialised = result == vr::VRInitError_None;
    return result;
  }
  // Frames until the driver has taken what was sent (loopback delivers at once, but be patient).
  void Frames(int n) {
    for (int i = 0; i < n; ++i) {
      host.BeginFrame(0.011 * i);
      host.CallRunFrame(provider);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
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
  uint16_t port = 0;
  bool initialised = false;
};

Poses Body(std::initializer_list<uint8_t> indices) {
  Poses m;
  for (uint8_t i : indices) {
    Record r;
    r.index = i;
    r.battery = 80;
    m.records.push_back(r);
  }
  return m;
}

TEST(DriverModule, FactoryAnswersOnlyTheProviderInterface) {
  std::string error;
  auto driver = host::LoadedDriver::Load(testing::DriverDir(), error);
  ASSERT_NE(driver, nullptr) << error;
  void *first = driver->Factory("IServerTrackedDeviceProvider_004", nullptr);
  int code = 12345;
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(driver->Factory("IServerTrackedDeviceProvider_004", &code), first);
  EXPECT_EQ(code, 12345);  // untouched on success
  EXPECT_EQ(driver->Factory("IServerTrackedDeviceProvider_003", &code), nullptr);
  EXPECT_EQ(code, vr::VRInitError_Init_InterfaceNotFound);
  EXPECT_EQ(driver->Factory("iservertrackeddeviceprovider_004", nullptr), nullptr);
  EXPECT_EQ(driver->Factory("IServerTrackedDeviceProvider_004x", nullptr), nullptr);
  EXPECT_EQ(driver->Factory("", nullptr), nullptr);
}

TEST(DriverModule, ListensTracksReportsAndChoosesItsOwnModel) {
  Session s;
  ASSERT_EQ(s.Init(), vr::VRInitError_None);
  EXPECT_EQ(s.LinesWith("[Vantrels] Listening for the Vantrels server on 127.0.0.1:" + std::to_string(s.port)), 1u);

  UdpPeer server;
  s.Frames(2);
  EXPECT_FALSE(server.Receive(20).has_value());  // no report before the first datagram

  server.SendTo(s.port, Body({1, 2, 5}).Bytes());
  s.Frames(3);
  ASSERT_EQ(s.host.Announcements().size(), 3u);
  EXPECT_EQ(s.LinesWith("[Vantrels] Using the Vantrels render model"), 1u);
  EXPECT_EQ(s.LinesWith("render model: {vantrels}/rendermodels/vantrel"), 3u);
  EXPECT_EQ(s.LinesWith("Receiving poses from the server: 3 body points in the first message"), 1u);
  EXPECT_FALSE(s.host.PoseUpdates().empty());
  const auto reports = server.Drain();
  ASSERT_GE(reports.size(), 1u);
  EXPECT_EQ(reports[0].size(), 40u);
  EXPECT_EQ(reports[0][5], 2);

  // A datagram too long for the driver's buffer is dropped; the next good one still counts.
  server.SendTo(s.port, std::vector<uint8_t>(3000, 0));
  server.SendTo(s.port, Body({3}).Bytes());
  s.Frames(3);
  EXPECT_EQ(s.host.Announcements().size(), 4u);
  EXPECT_EQ(s.LinesWith("Ignored a datagram"), 0u);
}

TEST(DriverModule, UnusableModelFallsBackToTheViveTracker) {
  const fs::path folder = fs::temp_directory_path() / ("vantrels-broken-" + std::to_string(::getpid())) / "vantrels";
  fs::remove_all(folder.parent_path());
  fs::create_directories(folder.parent_path());
  fs::copy(testing::DriverDir(), folder, fs::copy_options::recursive);
  fs::remove(folder / "resources/rendermodels/vantrel/vantrel.png");
  {
    Session s(folder);
    ASSERT_EQ(s.Init(), vr::VRInitError_None);
    UdpPeer server;
    server.SendTo(s.port, Body({1, 2}).Bytes());
    s.Frames(3);
    EXPECT_EQ(s.LinesWith("[Vantrels] Vantrels render model not usable (falta la textura vantrel.png); using "
                          "SteamVR's Vive tracker model"),
              1u);
    EXPECT_EQ(s.LinesWith("render model: {htc}/rendermodels/vr_tracker_vive_1_0"), 2u);
  }
  fs::remove_all(folder.parent_path());
}

int OpenDescriptors() {
#if defined(_WIN32)
  DWORD handles = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles);
  return static_cast<int>(handles);
#else
  int n = 0;
  if (DIR *d = ::opendir("/proc/self/fd")) {
    while (::readdir(d) != nullptr) ++n;
    ::closedir(d);
  }
  return n;
#endif
}

// The host may unload and reload the driver, and call Init and Cleanup again and again: no socket or
// descriptor is left behind, and the trackers of the first Init are still there.
TEST(DriverModule, LoadsUnloadsAndRestartsWithoutLeavingAnythingBehind) {
  UdpPeer server;
  const int descriptors = OpenDescriptors();
  for (int i = 0; i < 100; ++i) {
    Session s;
    ASSERT_EQ(s.Init(), vr::VRInitError_None);
    server.SendTo(s.port, Body({1}).Bytes());
    s.Frames(1);
    s.host.DeactivateAll();
  }
  EXPECT_EQ(OpenDescriptors(), descriptors);
  Session s;
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(s.Init(), vr::VRInitError_None);
    server.SendTo(s.port, Body({static_cast<uint8_t>(1 + i % 19)}).Bytes());
    s.host.CallRunFrame(s.provider);
    s.host.CallCleanup(s.provider);
    s.initialised = false;
  }
  EXPECT_EQ(OpenDescriptors(), descriptors);
  EXPECT_LE(s.host.Announcements().size(), 19u);
  EXPECT_EQ(s.LinesWith("Receiving poses from the server"), 1u);
}

}  // namespace
}  // namespace vantrels
