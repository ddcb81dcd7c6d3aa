// What only Windows has: the built DLL called the way an MSVC-built VR server calls it, a driver
// folder under a path with non-ASCII letters, WinSock after the tracking server restarts, and model
// files read as bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "link/udp_endpoint.h"
#include "rendermodel/model_file.h"
#include "support/driver_session.h"
#include "trackers/tracker_device.h"

// msvc_caller.cpp, compiled for the MSVC ABI.
extern "C" void CallGetPoseAsMsvc(void *device, void *result);

namespace vantrels {
namespace {

namespace fs = std::filesystem;

// The real DLL in a substitute host, with one tracker fed over loopback UDP.
struct Session : testing::DriverSession {
  explicit Session(const fs::path &folder) : DriverSession(folder) {
    if (Init() != vr::VRInitError_None) return;
    testing::Poses poses = testing::Body({1});
    poses.records[0].position[0] = 0.25f;
    server.SendTo(port, poses.Bytes());
    Frames(5);
  }
  testing::UdpPeer server;
};

TEST(WindowsDriver, GetPoseCalledWithTheMsvcConventionFillsTheCallersBuffer) {
  Session s(VANTRELS_DRIVER_DIR);
  ASSERT_TRUE(s.initialised);
  ASSERT_FALSE(s.host.PoseUpdates().empty());
  const auto &last = s.host.PoseUpdates().back();
  vr::ITrackedDeviceServerDriver *device = s.host.Device(last.deviceIndex);
  ASSERT_NE(device, nullptr);

  // The object is the driver's TrackerDevice, built by the same compiler as this test.
  unsigned char objectBefore[sizeof(TrackerDevice)];
  std::memcpy(objectBefore, device, sizeof(objectBefore));
  unsigned char result[sizeof(vr::DriverPose_t)];
  std::memset(result, 0xAB, sizeof(result));
  CallGetPoseAsMsvc(device, result);

  EXPECT_EQ(std::memcmp(result, &last.pose, sizeof(result)), 0) << "not the pose the tracker last submitted";
  EXPECT_EQ(last.pose.vecPosition[0], 0.25);
  EXPECT_EQ(std::memcmp(objectBefore, device, sizeof(objectBefore)), 0) << "the device object was overwritten";
  const vr::DriverPose_t again = device->GetPose();  // the MinGW way, slot 6
  EXPECT_EQ(std::memcmp(&again, result, sizeof(result)), 0);
  const size_t updates = s.host.PoseUpdates().size();
  s.Frames(2);
  EXPECT_GT(s.host.PoseUpdates().size(), updates);
}

TEST(WindowsDriver, FindsItsFolderUnderANonAsciiPath) {
  // Letters outside any ANSI code page: a path that went through one would not be found.
  const fs::path root = fs::path(VANTRELS_DRIVER_DIR).parent_path() / "tests" / u8"Jürgen-Łódź-日本";
  fs::remove_all(root);
  fs::create_directories(root);
  fs::copy(VANTRELS_DRIVER_DIR, root / "vantrels", fs::copy_options::recursive);
  {
    Session s(root / "vantrels");
    ASSERT_TRUE(s.initialised);
    EXPECT_TRUE(s.LinesWith("Using the Vantrels render model") == 1);
    EXPECT_FALSE(s.host.Announcements().empty());
  }
  fs::remove_all(root);
}

TEST(WindowsDriver, HearsATrackingServerRestartedOnAnotherPort) {
  // On Windows a report sent to a port nobody listens on any more fails the next receive with
  // WSAECONNRESET; the endpoint must read past it. (Wine does not produce that error.)
  UdpEndpoint endpoint;
  const uint16_t port = testing::FreePort();
  ASSERT_TRUE(endpoint.Open(port));
  uint8_t buffer[64];
  {
    testing::UdpPeer old;
    old.SendTo(port, {1});
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(endpoint.Receive(buffer, sizeof(buffer)), 1);
  }
  for (int i = 0; i < 3; ++i) endpoint.SendToPeer(buffer, 1);
  testing::UdpPeer restarted;
  restarted.SendTo(port, {2, 3});
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(endpoint.Receive(buffer, sizeof(buffer)), 2);
  endpoint.SendToPeer(buffer, 2);
  EXPECT_TRUE(restarted.Receive(1000).has_value());
}

TEST(WindowsModelFile, ReadsRegularFilesAsBytesAndRefusesTheRest) {
  const fs::path dir = fs::temp_directory_path() / u8"vantrels-model-ñ";
  fs::create_directories(dir / "folder");
  const std::string bytes("v 1 2 3\r\n\x1A\r\nend", 15);
  std::ofstream(dir / u8"modèle.obj", std::ios::binary) << bytes;
  ModelFile file;
  ASSERT_TRUE(file.Open(dir / u8"modèle.obj"));
  char read[64];
  ASSERT_EQ(file.Read(read, sizeof(read)), 15);
  EXPECT_EQ(std::string(read, 15), bytes);
  EXPECT_EQ(file.Read(read, sizeof(read)), 0);
  for (const fs::path &refused :
       {dir / "folder", dir / "missing.obj", dir / "NUL", fs::path("CON"), fs::path("COM1")}) {
    EXPECT_FALSE(file.Open(refused)) << refused.string();
    EXPECT_FALSE(file.IsOpen());
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vantrels
