#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "driver/interface_versions.h"
#include "support/provider_harness.h"
#include "trackers/tracker_device.h"

namespace vantrels {
namespace {

using testing::MessageFor;
using testing::Poses;
using testing::ProviderHarness;
using testing::UdpPeer;

TEST(ProviderInit, PortSettingOutsideTheRangeOrUnreadableGivesTheDefault) {
  for (const auto &[error, value, port] : std::vector<std::tuple<vr::EVRSettingsError, int32_t, uint16_t>>{
           {vr::VRSettingsError_None, 1, 1},
           {vr::VRSettingsError_None, 65535, 65535},
           {vr::VRSettingsError_None, 0, 21110},
           {vr::VRSettingsError_None, -1, 21110},
           {vr::VRSettingsError_None, 65536, 21110},
           {vr::VRSettingsError_UnsetSettingHasNoDefault, 0, 21110},
           {vr::VRSettingsError_ReadFailed, 30000, 21110}}) {
    EXPECT_EQ(DeviceProvider::PortFromSetting(error, value), port) << value;
  }
  // Read through the host: a text is not a number. The default port may be taken by another
  // program; either line names the port that was used.
  ProviderHarness h({}, false);
  h.host.SetSetting("driver_vantrels", "port", "21111");
  const vr::EVRInitError result = h.Init();
  const auto listening = h.LogLinesWith("Listening for the Vantrels server on 127.0.0.1:21110");
  EXPECT_EQ(listening.size() + h.LogLinesWith("Could not open UDP port 21110 (is it in use?)").size(), 1u);
  EXPECT_EQ(result, listening.empty() ? vr::VRInitError_Driver_Failed : vr::VRInitError_None);
  h.Cleanup();
}

TEST(ProviderInit, PortInUseFailsWith200AndSaysSo) {
  UdpPeer holder;
  ProviderHarness h;
  h.host.SetSetting("driver_vantrels", "port", holder.Port());
  EXPECT_EQ(h.Init(), vr::VRInitError_Driver_Failed);
  const std::string expected =
      "[Vantrels] Could not open UDP port " + std::to_string(holder.Port()) + " (is it in use?)";
  ASSERT_EQ(h.host.LogLines().size(), 1u);
  EXPECT_EQ(h.host.LogLines()[0], expected);
  EXPECT_FALSE(h.provider.endpoint.IsOpen());
}

TEST(ProviderInit, MissingInterfaceFailsWith105QuietlyAndOpensNothing) {
  for (const char *missing :
       {"IVRServerDriverHost_006", "IVRSettings_003", "IVRDriverLog_001", "IVRDriverManager_001", "IVRResources_001"}) {
    host::HostOptions options;
    options.missingInterfaces = {missing};
    ProviderHarness h(options);
    EXPECT_EQ(h.Init(), vr::VRInitError_Init_InterfaceNotFound) << missing;
    EXPECT_TRUE(h.host.LogLines().empty());
    EXPECT_FALSE(h.provider.endpoint.IsOpen());
  }
  // The properties interface is not checked: HostileHost below runs without it.
}

TEST(ProviderInit, InterfaceVersionsAreTheHeadersTwelve) {
  DeviceProvider provider;
  std::string listed;
  const char *const *versions = provider.GetInterfaceVersions();
  for (int i = 0; i < 12 && versions[i] != nullptr; ++i) listed.append(versions[i]).append(" ");
  EXPECT_EQ(listed,
            "IVRSettings_003 ITrackedDeviceServerDriver_005 IVRDisplayComponent_003 IVRDriverDirectModeComponent_009 "
            "IVRCameraComponent_003 IServerTrackedDeviceProvider_004 IVRWatchdogProvider_001 IVRVirtualDisplay_002 "
            "IVRDriverManager_001 IVRResources_001 IVRCompositorPluginProvider_001 IVRIPCResourceManagerClient_001 ");
  EXPECT_EQ(versions[12], nullptr);
  EXPECT_FALSE(provider.ShouldBlockStandbyMode());
}

TEST(FrameLoop, EveryFrameFetchesPosesAndDrainsEventsButReportsOnlyAfterTraffic) {
  ProviderHarness h;
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  h.host.QueueEvent(vr::VREvent_TrackedDeviceActivated, 0);
  h.host.QueueEvent(vr::VREvent_TrackedDeviceUpdated, 0);
  h.Frames(3);
  EXPECT_EQ(h.host.RawPoseFetches(), 3u);
  EXPECT_EQ(h.host.EventPolls(), 5u);  // two events, then one empty poll per frame
  EXPECT_TRUE(h.link.sent.empty());

  h.Send(std::vector<uint8_t>{1, 2, 3});  // even a rejected datagram makes a peer
  h.Frames(2);
  EXPECT_EQ(h.link.sent.size(), 2u);
  // The frame interval, seen in the smallest delay's creep of a thousandth of it: 0 on the first frame
  // (above), at most 0.1 s after a stall, and 0 for a clock that steps back.
  const double creep = h.provider.serverClock.minDelay;
  EXPECT_DOUBLE_EQ(creep, 4 * static_cast<double>(testing::kFrameNs) / 1e9 * 0.001);
  h.Frame(2'000'000'000);
  EXPECT_DOUBLE_EQ(h.provider.serverClock.minDelay, creep + 0.1 * 0.001);
  h.Frame(-5'000'000);
  EXPECT_DOUBLE_EQ(h.provider.serverClock.minDelay, creep + 0.1 * 0.001);
  h.Cleanup();
}

TEST(FrameLoop, QueuedDatagramsAreAllHandledInOneFrameInArrivalOrder) {
  ProviderHarness h;
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  for (uint8_t i = 1; i <= 19; ++i) h.Send(MessageFor({static_cast<uint8_t>(20 - i)}));
  h.Send(MessageFor({1}));
  h.Frame();
  EXPECT_TRUE(h.link.pending.empty());
  const auto &announced = h.host.Announcements();
  ASSERT_EQ(announced.size(), 19u);
  for (size_t i = 0; i < 19; ++i) EXPECT_EQ(announced[i].serial, kBodyPoints[19 - i].serial);
  h.Cleanup();
}

TEST(FrameLoop, AFloodIsTakenAtMost256DatagramsPerFrameInOrder) {
  ProviderHarness h;
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  for (int i = 0; i < 600; ++i) h.Send(std::vector<uint8_t>{0});
  h.Frame();
  EXPECT_EQ(h.link.pending.size(), 600u - 256u);
  EXPECT_EQ(h.provider.ignoredCount, 256u);
  h.Frames(2);
  EXPECT_TRUE(h.link.pending.empty());
  EXPECT_EQ(h.provider.ignoredCount, 600u);
  h.Cleanup();
}

TEST(DatagramIntake, FiveRejectionsAreLoggedPerLoadWithSizeAndVersion) {
  ProviderHarness h;
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  Poses v5 = MessageFor({1});
  v5.version = 5;
  h.Send(MessageFor({}));  // stamped, prediction on: rejected datagrams after it must change nothing
  h.Send(std::vector<uint8_t>{});
  h.Send(v5.Bytes());
  for (int i = 0; i < 4; ++i) h.Send(std::vector<uint8_t>(7, 0));
  h.Frame();
  const auto lines = h.LogLinesWith("Ignored a datagram");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0],
            "[Vantrels] Ignored a datagram that is not a POSES message (0 bytes, version 0; this driver speaks "
            "version 4)");
  EXPECT_EQ(lines[1],
            "[Vantrels] Ignored a datagram that is not a POSES message (52 bytes, version 5; this driver speaks "
            "version 4)");
  EXPECT_EQ(h.provider.ignoredCount, 6u);
  EXPECT_TRUE(h.provider.settings.prediction);
  EXPECT_TRUE(h.provider.serverClock.hasStamp);

  h.Cleanup();
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  h.Send(std::vector<uint8_t>{9});
  h.Frame();
  EXPECT_EQ(h.LogLinesWith("Ignored a datagram").size(), 5u);
  h.Cleanup();
}

TEST(DatagramIntake, FirstMessageLineWaitsForRecords) {
  ProviderHarness h;
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  h.Send(MessageFor({}));
  h.Frame();
  EXPECT_TRUE(h.LogLinesWith("Receiving poses").empty());
  EXPECT_FALSE(h.provider.firstMessageLogged);
  h.Send(MessageFor({1, 2, 3}));
  h.Send(MessageFor({4, 5}));
  h.Frame();
  const auto lines = h.LogLinesWith("Receiving poses");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "[Vantrels] Receiving poses from the server: 3 body points in the first message");
  h.Cleanup();
}

TEST(ProviderLifecycle, CleanupAndInitKeepTrackersCountersAndClocks) {
  ProviderHarness h;
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  h.Send(MessageFor({1, 2}));
  h.Send(std::vector<uint8_t>{1});
  h.Frame();
  ASSERT_NE(h.provider.trackerSlots[1], nullptr);
  TrackerDevice *chest = h.provider.trackerSlots[1].get();
  const int64_t lastFrame = h.provider.lastFrameTime;

  h.Cleanup();
  EXPECT_FALSE(h.provider.endpoint.IsOpen());
  EXPECT_EQ(vr::VRDriverContext(), nullptr);
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  EXPECT_TRUE(h.provider.endpoint.IsOpen());
  EXPECT_EQ(h.provider.trackerSlots[1].get(), chest);
  EXPECT_EQ(h.provider.ignoredCount, 1u);
  EXPECT_TRUE(h.provider.firstMessageLogged);
  EXPECT_EQ(h.provider.lastFrameTime, lastFrame);

  h.Send(MessageFor({1, 2}));
  h.Frame();
  EXPECT_EQ(h.host.Announcements().size(), 2u);  // not announced again
  h.Cleanup();
}

TEST(ProviderLifecycle, NothingReachesAHostThatIsGone) {
  ProviderHarness h;
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  h.Send(MessageFor({1}));
  h.Frame();
  h.Cleanup();
  const size_t calls = h.host.CallNames().size();
  // A host that keeps calling after Cleanup finds the driver quiet, not crashing.
  h.Send(MessageFor({1, 2}));
  h.provider.RunFrameWith(h.link, h.t + testing::kFrameNs);
  h.provider.trackerSlots[1]->Activate(5);
  EXPECT_EQ(h.host.CallNames().size(), calls);
}

}  // namespace
}  // namespace vantrels

namespace vantrels {
namespace {

TEST(HostileHost, NoPropertiesInterfaceIsSurvivedWithoutPropertyCalls) {
  host::HostOptions options;
  options.missingInterfaces = {"IVRProperties_001"};
  options.controllers = 2;
  ProviderHarness h(options);
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  Poses m = MessageFor({1, 2, 3});
  m.records[0].battery = 40;
  for (int i = 0; i < 5; ++i) {
    h.Send(m);
    h.Frame();
  }
  EXPECT_EQ(h.host.Announcements().size(), 3u);
  EXPECT_TRUE(h.host.PropertyWrites().empty());
  EXPECT_TRUE(h.host.PropertyReads().empty());
  EXPECT_FALSE(h.host.PoseUpdates().empty());
  ASSERT_EQ(h.link.sent.size(), 5u);
  EXPECT_EQ(h.link.sent[0][6], 0);  // no roles could be read, so no controllers are listed
  h.Cleanup();
}

}  // namespace
}  // namespace vantrels
