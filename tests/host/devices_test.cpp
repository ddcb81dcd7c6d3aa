// Announcements, index assignment, refusal policies and activation timing, with the fake driver.
#include <gtest/gtest.h>

#include <algorithm>

#include "host_test_support.h"

namespace vantrels::host::test {
namespace {

using Activation = HostOptions::Activation;

HostOptions With(Activation activation, uint32_t controllers = 0) {
  HostOptions options;
  options.activation = activation;
  options.controllers = controllers;
  return options;
}

size_t Activations(const SubstituteHost &host) {
  return static_cast<size_t>(std::count(host.CallNames().begin(), host.CallNames().end(), "Activate"));
}

TEST(DevicesTest, SyncActivationHappensInsideTheAnnouncement) {
  for (uint32_t controllers : {0u, 2u}) {
    FakeSession session(With(Activation::Sync, controllers));
    ASSERT_EQ(session.init, vr::VRInitError_None);
    session.Frames(1);
    const auto &a = session.host->Announcements();
    ASSERT_EQ(a.size(), 2u);
    EXPECT_TRUE(a[0].accepted);
    EXPECT_EQ(a[0].deviceIndex, controllers + 1);  // the driver's devices follow the controllers
    EXPECT_EQ(a[1].deviceIndex, controllers + 2);
    EXPECT_TRUE(session.host->IsActivated(controllers + 1));
    EXPECT_EQ(session.host->StringProperty(controllers + 1, vr::Prop_SerialNumber_String), "FAKE-1");

    // TrackedDeviceAdded, then Activate before the next driver->host call of RunFrame.
    const auto &calls = session.host->CallNames();
    const auto added = std::find(calls.begin(), calls.end(), "TrackedDeviceAdded");
    ASSERT_NE(added, calls.end());
    EXPECT_EQ(*(added + 1), "Activate");
    EXPECT_EQ(session.host->PoseUpdates().size(), 2u);  // both submitted in the same frame
  }
}

TEST(DevicesTest, DeferredAndNeverActivation) {
  {
    FakeSession session(With(Activation::Deferred));
    session.Frames(1);
    EXPECT_EQ(Activations(*session.host), 0u);
    EXPECT_TRUE(session.host->PoseUpdates().empty());
    session.host->BeginFrame(1.0 / 90.0);  // activation comes with the frame, before RunFrame
    EXPECT_EQ(Activations(*session.host), 2u);
    session.host->CallRunFrame(session.provider);
    EXPECT_EQ(session.host->PoseUpdates().size(), 2u);
  }
  FakeSession session(With(Activation::Never));
  session.Frames(5);
  EXPECT_EQ(session.host->Announcements().size(), 2u);
  EXPECT_EQ(Activations(*session.host), 0u);
  session.host->DeactivateAll();
  const auto &calls = session.host->CallNames();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "Deactivate"), 0);  // never activated, never deactivated
}

TEST(DevicesTest, RefusalPolicies) {
  HostOptions options;
  options.refuse = HostOptions::Refuse::All;
  {
    FakeSession session(options);
    session.Frames(3);
    const auto &a = session.host->Announcements();
    ASSERT_EQ(a.size(), 6u);  // the driver retries each frame
    for (const auto &x : a) EXPECT_EQ(x.deviceIndex, vr::k_unTrackedDeviceIndexInvalid);
    EXPECT_TRUE(std::none_of(a.begin(), a.end(), [](const auto &x) { return x.accepted; }));
    EXPECT_EQ(Activations(*session.host), 0u);
  }
  options.refuse = HostOptions::Refuse::FirstN;
  options.refuseFirst = 3;
  FakeSession session(options);
  session.Frames(3);
  // FAKE-1, FAKE-2, FAKE-1 refused; then FAKE-2 and FAKE-1 get the first free indices.
  const auto &a = session.host->Announcements();
  ASSERT_EQ(a.size(), 5u);
  for (size_t i = 0; i < 3; ++i) EXPECT_FALSE(a[i].accepted) << i;
  EXPECT_EQ(a[3].serial, "FAKE-2");
  EXPECT_EQ(a[3].deviceIndex, 1u);
  EXPECT_EQ(a[4].deviceIndex, 2u);
}

TEST(DevicesTest, HostRefusesWhatItCannotTrackAndDeactivatesOnce) {
  SubstituteHost host(With(Activation::Never, 62));  // leaves index 63 only
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

  SubstituteHost sync;
  server = Interface<vr::IVRServerDriverHost>(sync, vr::IVRServerDriverHost_Version);
  ASSERT_TRUE(server->TrackedDeviceAdded("A", vr::TrackedDeviceClass_GenericTracker, &b));
  ASSERT_TRUE(server->TrackedDeviceAdded("B", vr::TrackedDeviceClass_GenericTracker, &c));
  EXPECT_EQ(c.activatedAs, 2u);
  sync.DeactivateAll();
  sync.DeactivateAll();
  EXPECT_EQ(b.deactivations, 1);
  EXPECT_EQ(c.deactivations, 1);
}

TEST(DevicesTest, InitResultAndMissingInterfaces) {
  // The SDK's context code never notices a missing properties interface.
  const struct {
    const char *missing, *set;
    vr::EVRInitError expected;
  } cases[] = {
      {nullptr, "driver_fakedrv.init_result=200", vr::VRInitError_Driver_Failed},
      {vr::IVRDriverLog_Version, nullptr, vr::VRInitError_Init_InterfaceNotFound},
      {vr::IVRProperties_Version, nullptr, vr::VRInitError_None},
  };
  for (const auto &c : cases) {
    HostOptions options;
    if (c.missing) options.missingInterfaces = {c.missing};
    FakeSession session(options, c.set ? std::vector<std::string>{c.set} : std::vector<std::string>{});
    EXPECT_EQ(session.init, c.expected) << (c.missing ? c.missing : c.set);
  }
  SubstituteHost host;
  for (const char *version : {"IVRNothing_001", static_cast<const char *>(nullptr)}) {
    vr::EVRInitError error = vr::VRInitError_Unknown;
    EXPECT_EQ(host.GetGenericInterface(version, &error), nullptr);
    EXPECT_EQ(error, vr::VRInitError_Init_InterfaceNotFound);
  }
}

}  // namespace
}  // namespace vantrels::host::test
