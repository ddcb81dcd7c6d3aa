// Announcements, index assignment, refusal policies and activation timing, with the fake driver.
#include <gtest/gtest.h>

#include <algorithm>

#include "host_test_support.h"

namespace vantrels::host::test {
namespace {

HostOptions With(HostOptions::Activation activation, uint32_t controllers = 0) {
  HostOptions options;
  options.activation = activation;
  options.controllers = controllers;
  return options;
}

size_t Count(const std::vector<std::string> &calls, const std::string &name) {
  return static_cast<size_t>(std::count(calls.begin(), calls.end(), name));
}

TEST(DevicesTest, SyncActivationHappensInsideTheAnnouncement) {
  FakeSession session(With(HostOptions::Activation::Sync));
  ASSERT_EQ(session.init, vr::VRInitError_None);
  session.Frames(1);
  const auto &a = session.host->Announcements();
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0].serial, "FAKE-1");
  EXPECT_EQ(a[0].deviceClass, vr::TrackedDeviceClass_GenericTracker);
  EXPECT_TRUE(a[0].accepted);
  EXPECT_EQ(a[0].deviceIndex, 1u);  // no controllers: the driver's devices start at 1
  EXPECT_EQ(a[1].deviceIndex, 2u);
  EXPECT_EQ(session.host->Device(1), a[0].driver);
  EXPECT_TRUE(session.host->IsActivated(1));

  // TrackedDeviceAdded, then Activate before the next driver->host call of RunFrame.
  const auto &calls = session.host->CallNames();
  const auto added = std::find(calls.begin(), calls.end(), "TrackedDeviceAdded");
  ASSERT_NE(added, calls.end());
  EXPECT_EQ(*(added + 1), "Activate");
  EXPECT_EQ(session.host->StringProperty(1, vr::Prop_SerialNumber_String), "FAKE-1");
  EXPECT_EQ(session.host->Int32Property(1, vr::Prop_DeviceClass_Int32), vr::TrackedDeviceClass_GenericTracker);
  EXPECT_EQ(session.host->PoseUpdates().size(), 2u);  // both submitted in the same frame
}

TEST(DevicesTest, DriverDevicesFollowTheControllers) {
  FakeSession session(With(HostOptions::Activation::Sync, 2));
  session.Frames(1);
  const auto &a = session.host->Announcements();
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0].deviceIndex, 3u);
  EXPECT_EQ(a[1].deviceIndex, 4u);
}

TEST(DevicesTest, DeferredActivationWaitsForTheNextFrame) {
  FakeSession session(With(HostOptions::Activation::Deferred));
  session.Frames(1);
  EXPECT_EQ(Count(session.host->CallNames(), "Activate"), 0u);
  EXPECT_FALSE(session.host->IsActivated(1));
  EXPECT_TRUE(session.host->PoseUpdates().empty());

  session.host->BeginFrame(1.0 / 90.0);  // activation comes with the frame, before RunFrame
  EXPECT_EQ(Count(session.host->CallNames(), "Activate"), 2u);
  EXPECT_TRUE(session.host->IsActivated(1));
  EXPECT_TRUE(session.host->IsActivated(2));
  session.host->CallRunFrame(session.provider);
  EXPECT_EQ(session.host->PoseUpdates().size(), 2u);
}

TEST(DevicesTest, NeverActivationLeavesDevicesIdle) {
  FakeSession session(With(HostOptions::Activation::Never));
  session.Frames(5);
  EXPECT_EQ(session.host->Announcements().size(), 2u);
  EXPECT_EQ(Count(session.host->CallNames(), "Activate"), 0u);
  EXPECT_TRUE(session.host->PoseUpdates().empty());
  session.host->DeactivateAll();
  EXPECT_EQ(Count(session.host->CallNames(), "Deactivate"), 0u);  // never activated, never deactivated
}

TEST(DevicesTest, RefusalPolicies) {
  {
    HostOptions options;
    options.refuse = HostOptions::Refuse::All;
    FakeSession session(options);
    session.Frames(3);
    const auto &a = session.host->Announcements();
    ASSERT_EQ(a.size(), 6u);  // the driver retries each frame
    for (const auto &x : a) {
      EXPECT_FALSE(x.accepted);
      EXPECT_EQ(x.deviceIndex, vr::k_unTrackedDeviceIndexInvalid);
    }
    EXPECT_EQ(Count(session.host->CallNames(), "Activate"), 0u);
    EXPECT_EQ(session.host->Device(1), nullptr);
  }
  {
    HostOptions options;
    options.refuse = HostOptions::Refuse::FirstN;
    options.refuseFirst = 3;
    FakeSession session(options);
    session.Frames(3);
    const auto &a = session.host->Announcements();
    ASSERT_EQ(a.size(), 5u);
    EXPECT_FALSE(a[0].accepted);
    EXPECT_FALSE(a[1].accepted);
    EXPECT_FALSE(a[2].accepted);  // FAKE-1, second try
    EXPECT_TRUE(a[3].accepted);   // FAKE-2, second try
    EXPECT_EQ(a[3].serial, "FAKE-2");
    EXPECT_EQ(a[3].deviceIndex, 1u);
    EXPECT_TRUE(a[4].accepted);  // FAKE-1, third try
    EXPECT_EQ(a[4].deviceIndex, 2u);
  }
}

TEST(DevicesTest, HostRefusesWhatItCannotTrack) {
  HostOptions options;
  options.activation = HostOptions::Activation::Never;
  options.controllers = 62;  // leaves index 63 only
  SubstituteHost host(options);
  auto *server = Interface<vr::IVRServerDriverHost>(host, vr::IVRServerDriverHost_Version);
  StubDevice a, b, c;
  EXPECT_FALSE(server->TrackedDeviceAdded(nullptr, vr::TrackedDeviceClass_GenericTracker, &a));
  EXPECT_FALSE(server->TrackedDeviceAdded("", vr::TrackedDeviceClass_GenericTracker, &a));
  EXPECT_FALSE(server->TrackedDeviceAdded("S1", vr::TrackedDeviceClass_GenericTracker, nullptr));
  EXPECT_TRUE(server->TrackedDeviceAdded("S1", vr::TrackedDeviceClass_GenericTracker, &a));
  EXPECT_EQ(host.Announcements().back().deviceIndex, 63u);
  EXPECT_FALSE(server->TrackedDeviceAdded("S1", vr::TrackedDeviceClass_GenericTracker, &b));  // duplicate serial
  EXPECT_FALSE(server->TrackedDeviceAdded("S2", vr::TrackedDeviceClass_GenericTracker, &c));  // no index left
  EXPECT_EQ(host.Announcements().size(), 6u);
  EXPECT_EQ(a.activations, 0);
}

TEST(DevicesTest, ShutdownDeactivatesEveryActivatedDeviceOnce) {
  SubstituteHost host;
  auto *server = Interface<vr::IVRServerDriverHost>(host, vr::IVRServerDriverHost_Version);
  StubDevice a, b;
  ASSERT_TRUE(server->TrackedDeviceAdded("A", vr::TrackedDeviceClass_GenericTracker, &a));
  ASSERT_TRUE(server->TrackedDeviceAdded("B", vr::TrackedDeviceClass_GenericTracker, &b));
  EXPECT_EQ(a.activatedAs, 1u);
  EXPECT_EQ(b.activatedAs, 2u);
  host.DeactivateAll();
  host.DeactivateAll();
  EXPECT_EQ(a.deactivations, 1);
  EXPECT_EQ(b.deactivations, 1);
}

TEST(DevicesTest, InitResultAndMissingInterfaces) {
  {
    FakeSession session({}, {"driver_fakedrv.init_result=200"});
    EXPECT_EQ(session.init, vr::VRInitError_Driver_Failed);
  }
  {
    HostOptions options;
    options.missingInterfaces = {vr::IVRDriverLog_Version};
    FakeSession session(options);
    EXPECT_EQ(session.init, vr::VRInitError_Init_InterfaceNotFound);
  }
  {
    // The SDK's context code never notices a missing properties interface.
    HostOptions options;
    options.missingInterfaces = {vr::IVRProperties_Version};
    FakeSession session(options);
    EXPECT_EQ(session.init, vr::VRInitError_None);
  }
  SubstituteHost host;
  vr::EVRInitError error = vr::VRInitError_Unknown;
  EXPECT_EQ(host.GetGenericInterface("IVRNothing_001", &error), nullptr);
  EXPECT_EQ(error, vr::VRInitError_Init_InterfaceNotFound);
  error = vr::VRInitError_Unknown;
  EXPECT_EQ(host.GetGenericInterface(nullptr, &error), nullptr);
  EXPECT_EQ(error, vr::VRInitError_Init_InterfaceNotFound);
  EXPECT_NE(host.GetGenericInterface(vr::IVRSettings_Version, nullptr), nullptr);
  EXPECT_NE(host.GetDriverHandle(), 0u);
}

TEST(DevicesTest, FakeDriverLogsThroughTheHost) {
  FakeSession session({}, {"driver_fakedrv.port=21111", "driver_fakedrv.devices=1"});
  session.Frames(2);
  session.host->DeactivateAll();
  const auto &lines = session.host->LogLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "fake: Init port 21111 error 0");
  // Index 1 is the tracker itself here: it reads back the role hint it has just written.
  EXPECT_EQ(lines[1], "fake: activated FAKE-1 at 1, controller 1 role 3 error 0");
  EXPECT_EQ(lines[2], "fake: deactivated FAKE-1");
  EXPECT_EQ(session.host->Setting("trackers", "/devices/fakedrv/FAKE-1"), nlohmann::json("TrackerRole_Waist"));
}

}  // namespace
}  // namespace vantrels::host::test
