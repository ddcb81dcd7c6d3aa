// The built driver module, loaded from a driver folder the way SteamVR loads it, talking real
// UDP on loopback.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <winsock2.h>  // and windows.h after it
#else
#include <dirent.h>
#endif

#include <filesystem>

#include "support/driver_session.h"
#include "support/temp_dir.h"

namespace vantrels {
namespace {

namespace fs = std::filesystem;
using Session = testing::DriverSession;
using testing::Body;
using testing::UdpPeer;

TEST(DriverModule, FactoryAnswersOnlyTheProviderInterface) {
  std::string error;
  auto driver = host::LoadedDriver::Load(testing::DriverDir(), error);
  ASSERT_NE(driver, nullptr) << error;
  void *first = driver->Factory("IServerTrackedDeviceProvider_004", nullptr);
  int code = 12345;
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(driver->Factory("IServerTrackedDeviceProvider_004", &code), first);
  EXPECT_EQ(code, 12345);  // untouched on success
  for (const char *name : {"IServerTrackedDeviceProvider_003", "iservertrackeddeviceprovider_004",
                           "IServerTrackedDeviceProvider_004x", ""}) {
    EXPECT_EQ(driver->Factory(name, &code), nullptr) << name;
    EXPECT_EQ(code, vr::VRInitError_Init_InterfaceNotFound);
    code = 0;
  }
  EXPECT_EQ(driver->Factory("IServerTrackedDeviceProvider_003", nullptr), nullptr);
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

  // A datagram one byte too long for the driver's buffer is dropped; the next good one still counts.
  server.SendTo(s.port, std::vector<uint8_t>(2049, 0));
  server.SendTo(s.port, Body({3}).Bytes());
  s.Frames(3);
  EXPECT_EQ(s.host.Announcements().size(), 4u);
  EXPECT_EQ(s.LinesWith("Ignored a datagram"), 0u);
}

TEST(DriverModule, UnusableModelFallsBackToTheViveTracker) {
  testing::TempDir dir;  // outlives the session, which unloads the library from it
  const fs::path folder = dir.path() / "vantrels";
  fs::copy(testing::DriverDir(), folder, fs::copy_options::recursive);
  fs::remove(folder / "resources/rendermodels/vantrel/vantrel.png");
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
  const uint16_t port = testing::FreePort();  // one for all, so that no reservation opens in the count
  const int descriptors = OpenDescriptors();
  for (int i = 0; i < 100; ++i) {
    Session s(testing::DriverDir(), {}, port);
    ASSERT_EQ(s.Init(), vr::VRInitError_None);
    server.SendTo(s.port, Body({1}).Bytes());
    s.Frames(1);
    s.host.DeactivateAll();
  }
  EXPECT_EQ(OpenDescriptors(), descriptors);
  Session s(testing::DriverDir(), {}, port);
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
