#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "support/provider_harness.h"
#include "trackers/tracker_device.h"

namespace vantrels {
namespace {

using testing::MessageFor;
using testing::Poses;
using testing::ProviderHarness;

size_t IndexOf(const std::vector<std::string> &names, const std::string &name, size_t from = 0) {
  const auto it = std::find(names.begin() + static_cast<std::ptrdiff_t>(from), names.end(), name);
  return static_cast<size_t>(it - names.begin());
}

TEST(TrackerRegistry, TrackersAreAnnouncedInFirstSeenOrderWithTheirRoleWrittenFirst) {
  ProviderHarness h;
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  h.Send(MessageFor({3, 9, 3}));
  h.Send(MessageFor({1}));
  h.Frame();

  const auto &announced = h.host.Announcements();
  ASSERT_EQ(announced.size(), 3u);
  EXPECT_EQ(announced[0].serial, "VANTRL-LEFT-KNEE");
  EXPECT_EQ(announced[1].serial, "VANTRL-NECK");
  EXPECT_EQ(announced[2].serial, "VANTRL-CHEST");
  EXPECT_EQ(announced[0].deviceClass, vr::TrackedDeviceClass_GenericTracker);

  // Roles go to the settings before the announcement; the neck has none.
  std::vector<std::string> writes;
  for (const auto &w : h.host.SettingAccesses())
    if (w.op == "SetString") writes.push_back(w.section + " " + w.key + " " + w.value);
  EXPECT_EQ(writes, (std::vector<std::string>{"trackers /devices/vantrels/VANTRL-LEFT-KNEE TrackerRole_LeftKnee",
                                              "trackers /devices/vantrels/VANTRL-CHEST TrackerRole_Chest"}));
  const auto &calls = h.host.CallNames();
  EXPECT_LT(IndexOf(calls, "SetString"), IndexOf(calls, "TrackedDeviceAdded"));

  EXPECT_EQ(h.LogLinesWith("Added tracker"),
            (std::vector<std::string>{"[Vantrels] Added tracker VANTRL-LEFT-KNEE as TrackerRole_LeftKnee",
                                      "[Vantrels] Added tracker VANTRL-NECK (no SteamVR role)",
                                      "[Vantrels] Added tracker VANTRL-CHEST as TrackerRole_Chest"}));
  h.Cleanup();
}

TEST(TrackerRegistry, RefusedTrackersAreRetriedWithEveryRecord) {
  host::HostOptions options;
  options.refuse = host::HostOptions::Refuse::All;
  ProviderHarness h(options);
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  h.Send(MessageFor({16, 16, 1}));
  h.Frame();
  h.Send(MessageFor({16}));
  h.Frame();
  EXPECT_EQ(h.host.Announcements().size(), 4u);
  const auto refused = h.LogLinesWith("SteamVR refused tracker");
  ASSERT_EQ(refused.size(), 4u);
  EXPECT_EQ(refused[0], "[Vantrels] SteamVR refused tracker VANTRL-LEFT-HAND (no SteamVR role)");
  EXPECT_EQ(refused[2], "[Vantrels] SteamVR refused tracker VANTRL-CHEST as TrackerRole_Chest");
  for (const auto &slot : h.provider.trackerSlots) EXPECT_EQ(slot, nullptr);
  h.Cleanup();
}

// The host holds a device from the moment it accepts it: a log line that fails after the announcement
// must not take the device out of its slot (and free it under the host).
TEST(TrackerRegistry, AnAcceptedTrackerOutlivesAFailingLogLine) {
  struct FailingLog : vr::IVRDriverLog {
    void Log(const char *line) override {
      if (std::string_view(line).starts_with("[Vantrels] Added tracker")) throw std::runtime_error("out of memory");
    }
  } log;
  host::SubstituteHost host;
  host.SetSetting("driver_vantrels", "port", testing::FreePort());
  testing::ContextWith context(host, vr::IVRDriverLog_Version, &log);
  DeviceProvider provider;
  ASSERT_EQ(provider.Init(&context), vr::VRInitError_None);
  DatagramQueue link;
  link.Push(MessageFor({1}).Bytes());
  EXPECT_THROW(provider.RunFrameWith(link, SteadyNowNs()), std::runtime_error);
  ASSERT_EQ(host.Announcements().size(), 1u);
  ASSERT_NE(provider.trackerSlots[1], nullptr);
  EXPECT_EQ(host.Announcements()[0].driver,
            static_cast<vr::ITrackedDeviceServerDriver *>(provider.trackerSlots[1].get()));
  EXPECT_EQ(host.Announcements()[0].driver->Activate(7), vr::VRInitError_None);
  provider.Cleanup();
}

// The head (index 0) and indices outside the table never become trackers and log nothing; every other
// body point becomes one tracker, however often it comes, as the host gets it: serial, role setting (none
// for the points SteamVR has no role for), model number.
TEST(BodyPoints, EveryBodyPointOnceWithItsSerialRoleAndNameButNeverTheHead) {
  const char *const expected[20][3] = {{},
                                       {"CHEST", "Chest", "Chest"},
                                       {"WAIST", "Waist", "Waist"},
                                       {"LEFT-KNEE", "LeftKnee", "Left Knee"},
                                       {"RIGHT-KNEE", "RightKnee", "Right Knee"},
                                       {"LEFT-FOOT", "LeftFoot", "Left Foot"},
                                       {"RIGHT-FOOT", "RightFoot", "Right Foot"},
                                       {"LEFT-ELBOW", "LeftElbow", "Left Elbow"},
                                       {"RIGHT-ELBOW", "RightElbow", "Right Elbow"},
                                       {"NECK", nullptr, "Neck"},
                                       {"UPPER-CHEST", nullptr, "Upper Chest"},
                                       {"HIP", nullptr, "Hip"},
                                       {"LEFT-SHOULDER", "LeftShoulder", "Left Shoulder"},
                                       {"RIGHT-SHOULDER", "RightShoulder", "Right Shoulder"},
                                       {"LEFT-FOREARM", nullptr, "Left Forearm"},
                                       {"RIGHT-FOREARM", nullptr, "Right Forearm"},
                                       {"LEFT-HAND", nullptr, "Left Hand"},
                                       {"RIGHT-HAND", nullptr, "Right Hand"},
                                       {"LEFT-SHIN", nullptr, "Left Shin"},
                                       {"RIGHT-SHIN", nullptr, "Right Shin"}};
  ProviderHarness h;
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  for (int i = 0; i < 3; ++i) h.Send(MessageFor({0, 20, 255}));
  h.Frame();
  EXPECT_TRUE(h.host.Announcements().empty());
  EXPECT_TRUE(h.LogLinesWith("tracker").empty());
  Poses all = MessageFor({});
  for (uint8_t i = 0; i < 40; ++i) all.records.emplace_back().index = i;
  h.Send(all);
  h.Send(all);
  h.Frame();
  EXPECT_EQ(h.host.Announcements().size(), 19u);
  EXPECT_EQ(h.provider.trackerSlots[0], nullptr);
  for (uint8_t i = 1; i < 20; ++i) {
    const std::string serial = std::string("VANTRL-") + expected[i][0];
    const auto role = h.host.Setting("trackers", "/devices/vantrels/" + serial);
    EXPECT_EQ(role, expected[i][1] ? std::optional<nlohmann::json>(std::string("TrackerRole_") + expected[i][1])
                                   : std::nullopt)
        << serial;
    const uint32_t index = h.provider.trackerSlots[i]->deviceIndex;
    EXPECT_EQ(h.host.StringProperty(index, vr::Prop_SerialNumber_String), serial);
    EXPECT_EQ(h.host.StringProperty(index, vr::Prop_ModelNumber_String), std::string("Vantrels ") + expected[i][2]);
  }
  h.Cleanup();
}

}  // namespace
}  // namespace vantrels
