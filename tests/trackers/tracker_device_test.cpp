#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "support/provider_harness.h"
#include "trackers/render_model_selection.h"
#include "trackers/tracker_device.h"

namespace vantrels {
namespace {

using testing::MessageFor;
using testing::Poses;
using testing::ProviderHarness;

// The property writes to one device as "number value" items: strings by their text (with "!" when the
// size is not the text's length plus its NUL), int32 as "i<value>", bools as "true"/"false", floats
// as their value.
std::string WritesTo(const host::SubstituteHost &host, uint32_t index) {
  std::string text;
  for (const auto &w : host.PropertyWrites()) {
    if (w.deviceIndex != index) continue;
    text += text.empty() ? "" : ", ";
    text += std::to_string(w.prop) + " ";
    if (w.writeType != vr::PropertyWrite_Set) text += "not a set ";
    const char *bytes = reinterpret_cast<const char *>(w.bytes.data());
    int32_t i = 0;
    if (w.tag == vr::k_unStringPropertyTag)
      text += std::string(bytes) + (w.bytes.size() == strlen(bytes) + 1 ? "" : "!");
    if (w.tag == vr::k_unInt32PropertyTag && w.bytes.size() == 4)
      text += "i" + std::to_string((std::memcpy(&i, bytes, 4), i));
    if (w.tag == vr::k_unBoolPropertyTag && w.bytes.size() == 1) text += bytes[0] ? "true" : "false";
    float f = 0.0f;
    if (w.tag == vr::k_unFloatPropertyTag && w.bytes.size() == 4)
      text += ::testing::PrintToString((std::memcpy(&f, bytes, 4), f));
  }
  return text;
}

TEST(TrackerDevice, DefaultPoseAndTheQuietOperations) {
  TrackerDevice device(1);
  vr::DriverPose_t expected{};
  expected.qWorldFromDriverRotation.w = expected.qDriverFromHeadRotation.w = expected.qRotation.w = 1.0;
  expected.result = vr::TrackingResult_Running_OutOfRange;
  expected.deviceIsConnected = true;
  const vr::DriverPose_t pose = device.GetPose();
  EXPECT_EQ(std::memcmp(&pose, &expected, sizeof pose), 0);
  EXPECT_EQ(device.deviceIndex, vr::k_unTrackedDeviceIndexInvalid);
  EXPECT_TRUE(device.stale);

  EXPECT_EQ(device.GetComponent("IVRDisplayComponent_003"), nullptr);
  EXPECT_EQ(device.GetComponent("IVRCameraComponent_003"), nullptr);
  char untouched = 'x';
  device.DebugRequest("anything", &untouched, 0);
  EXPECT_EQ(untouched, 'x');
  char answer[4] = {'a', 'b', 'c', 'd'};
  device.DebugRequest("anything", answer, sizeof(answer));
  EXPECT_EQ(std::string(answer, 4), std::string("\0bcd", 4));
}

TEST(TrackerDevice, ActivateWritesItsPropertiesInOrderEveryTime) {
  ProviderHarness h;
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  h.Send(MessageFor({1}));
  h.Frame();
  TrackerDevice *chest = h.provider.trackerSlots[1].get();
  ASSERT_NE(chest, nullptr);
  const uint32_t index = chest->deviceIndex;
  ASSERT_NE(index, vr::k_unTrackedDeviceIndexInvalid);
  const std::string model = h.host.StringProperty(index, vr::Prop_RenderModelName_String).value_or("");
  // Battery 255 in the record: only "provides battery" is written.
  const std::string writes = "1000 vantrels, 1005 Vantrels, 1001 Vantrels Chest, 1002 VANTRL-CHEST, 1003 " + model +
                             ", 7000 vive_tracker, 1037 {htc}/input/vive_tracker_profile.json, 3007 i3, 1029 i3, "
                             "1026 false, 1004 true, 1038 false";
  EXPECT_EQ(WritesTo(h.host, index), writes);
  EXPECT_EQ(h.LogLinesWith("Activated"),
            std::vector<std::string>{"[Vantrels] Activated VANTRL-CHEST as device " + std::to_string(index)});
  EXPECT_EQ(h.LogLinesWith("render model: "),
            std::vector<std::string>{"[Vantrels] VANTRL-CHEST render model: " + model});

  EXPECT_EQ(chest->Activate(index), vr::VRInitError_None);
  EXPECT_EQ(WritesTo(h.host, index), writes + ", " + writes);
  EXPECT_EQ(h.LogLinesWith("Activated").size(), 2u);
  h.Cleanup();
}

TEST(TrackerDevice, BatteryIsWrittenOnlyWhenItChangesAndOnlyWhileActive) {
  ProviderHarness h;
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  Poses m = MessageFor({2});
  m.records[0].battery = 100;
  m.records[0].flags = 0x03;  // valid, charging
  h.Send(m);
  h.Frame();
  TrackerDevice *waist = h.provider.trackerSlots[2].get();
  const uint32_t index = waist->deviceIndex;
  std::string writes = WritesTo(h.host, index);
  EXPECT_TRUE(writes.ends_with("1038 false, 1026 true, 1012 1, 1011 true")) << writes;
  h.Send(m);
  h.Frame();
  EXPECT_EQ(WritesTo(h.host, index), writes);  // same level, same flag: nothing
  m.records[0].battery = 200;                  // passed on unclamped
  m.records[0].flags = 0x01;
  h.Send(m);
  h.Frame();
  writes += ", 1026 true, 1012 2, 1011 false";
  EXPECT_EQ(WritesTo(h.host, index), writes);
  m.records[0].battery = 50;
  waist->Deactivate();
  h.Send(m);
  h.Frame();
  EXPECT_EQ(WritesTo(h.host, index), writes);  // stored, not written
  waist->Activate(index);
  EXPECT_TRUE(WritesTo(h.host, index).ends_with("1026 true, 1012 0.5, 1011 false, 1004 true, 1038 false"));
  h.Cleanup();
}

TEST(PoseIntake, InvalidRecordsAreDiscardedAndTheFirstFiveLogged) {
  ProviderHarness h;
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  h.Send(MessageFor({5}));
  h.Frame();
  TrackerDevice *foot = h.provider.trackerSlots[5].get();
  const int64_t lastValid = foot->lastValidPoseTime;
  const size_t updates = h.host.PoseUpdates().size();

  for (int i = 0; i < 8; ++i) {
    Poses bad = MessageFor({5});
    float *fields[] = {&bad.records[0].position[i % 3], &bad.records[0].rotation[0], &bad.records[0].rotation[3]};
    *fields[i % 3] = i % 3 == 0 ? NAN : i % 3 == 1 ? INFINITY : 0.0005f;  // the last: squared norm 2.5e-7
    bad.records[0].battery = 10;
    h.Send(bad);
  }
  h.Frame();
  const auto lines = h.LogLinesWith("Discarded");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "[Vantrels] Discarded an invalid pose for VANTRL-LEFT-FOOT");
  EXPECT_EQ(foot->invalidPoseCount, 8u);
  EXPECT_EQ(foot->lastValidPoseTime, lastValid);
  EXPECT_EQ(foot->batteryPercent, 255);  // nothing of a discarded record is taken
  for (size_t i = updates; i < h.host.PoseUpdates().size(); ++i) {
    const vr::DriverPose_t &p = h.host.PoseUpdates()[i].pose;
    EXPECT_TRUE(std::isfinite(p.vecPosition[0]) && std::isfinite(p.qRotation.x));
  }

  // The count stops at its maximum instead of wrapping, so the lines never come back.
  foot->invalidPoseCount = UINT32_MAX - 1;
  Poses bad = MessageFor({5});
  bad.records[0].position[0] = NAN;
  for (int i = 0; i < 3; ++i) h.Send(bad);
  h.Frame();
  EXPECT_EQ(foot->invalidPoseCount, UINT32_MAX);
  EXPECT_EQ(h.LogLinesWith("Discarded").size(), 5u);

  Poses tiny = MessageFor({5});
  tiny.records[0].rotation[3] = 0.001f;  // squared norm 1e-6: accepted and normalised
  tiny.records[0].rotation[0] = 0.0f;
  h.Send(tiny);
  h.Frame();
  EXPECT_EQ(foot->invalidPoseCount, UINT32_MAX);
  EXPECT_EQ(foot->lastValidPoseTime, h.t);
  h.Cleanup();
}

TEST(PoseIntake, UntrackedRecordsAreSubmittedAsNotValidAndKeepTheTrackerAlive) {
  ProviderHarness h;
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  Poses m = MessageFor({4});
  m.records[0].flags = 0x00;
  for (int i = 0; i < 150; ++i) {  // over a second and a half of frames
    h.Send(m);
    h.Frame();
  }
  const auto poses = h.PosesOf(h.provider.trackerSlots[4]->deviceIndex);
  ASSERT_EQ(poses.size(), 150u);
  for (const auto &u : poses) {
    EXPECT_FALSE(u.pose.poseIsValid);
    EXPECT_EQ(u.pose.result, vr::TrackingResult_Running_OutOfRange);
    EXPECT_EQ(u.size, sizeof(vr::DriverPose_t));
  }
  EXPECT_FALSE(h.provider.trackerSlots[4]->stale);
  h.Cleanup();
}

TEST(PoseIntake, OneSecondOfSilenceSubmitsOneOutOfRangePose) {
  ProviderHarness h;
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  // A head-relative foot under a moving headset, turning: velocity and speeds are not zero.
  vr::TrackedDevicePose_t headset = testing::LivePose(0, 1.0f, 0);
  headset.vVelocity = {{0.5f, 0.25f, 0.125f}};
  h.host.SetRawPose(0, headset);
  Poses m = MessageFor({0, 6});
  m.records[1].flags = 0x05;
  h.Send(m);
  h.Frame();
  m.records[1].rotation[1] = 0.1f;
  h.Send(m);
  h.Frame();
  TrackerDevice *foot = h.provider.trackerSlots[6].get();
  const uint32_t index = foot->deviceIndex;
  ASSERT_TRUE(h.PosesOf(index).back().pose.poseIsValid);
  EXPECT_EQ(h.PosesOf(index).back().pose.result, vr::TrackingResult_Running_OK);

  h.t = foot->lastValidPoseTime + 1'000'000'000 - 2 * testing::kFrameNs;
  h.Frame();
  EXPECT_FALSE(foot->stale);
  const size_t live = h.PosesOf(index).size();
  h.Frame();  // now at least one second after the last valid record
  EXPECT_TRUE(foot->stale);
  const auto poses = h.PosesOf(index);
  ASSERT_EQ(poses.size(), live + 2);  // the frame's own pose, then the timeout
  const vr::DriverPose_t &timedOut = poses.back().pose;
  EXPECT_FALSE(timedOut.poseIsValid);
  EXPECT_EQ(timedOut.result, vr::TrackingResult_Running_OutOfRange);
  EXPECT_TRUE(timedOut.vecVelocity[0] == 0.0 && timedOut.vecVelocity[1] == 0.0 && timedOut.vecVelocity[2] == 0.0);
  EXPECT_NEAR(timedOut.vecPosition[1], 1.0, 1e-9);  // the last position stays
  // The filter starts again from nothing: no window, no output, no speed, no correction.
  const PoseFilter &f = foot->filter;
  EXPECT_TRUE(!f.outputValid && f.count == 0 && f.linearSpeed == 0.0 && f.angularSpeed == 0.0);
  EXPECT_TRUE(f.positionCorrection.x == 0.0 && f.rotationCorrection.w == 1.0);

  h.Frames(30);
  EXPECT_EQ(h.PosesOf(index).size(), live + 2);  // nothing more until a valid record
  Poses away = MessageFor({6});
  away.records[0].position[0] = 3.0f;  // the output jumps there at once
  h.Send(away);
  h.Frame();
  EXPECT_EQ(h.PosesOf(index).size(), live + 3);
  EXPECT_TRUE(h.PosesOf(index).back().pose.poseIsValid);
  EXPECT_EQ(h.PosesOf(index).back().pose.vecPosition[0], 3.0);
  h.Cleanup();
}

TEST(PoseIntake, InactiveTrackersKeepFilteringButSubmitNothing) {
  host::HostOptions options;
  options.activation = host::HostOptions::Activation::Never;
  ProviderHarness h(options);
  ASSERT_EQ(h.Init(), vr::VRInitError_None);
  h.Send(MessageFor({7}));
  h.Frames(3);
  EXPECT_TRUE(h.host.PoseUpdates().empty());
  EXPECT_TRUE(h.provider.trackerSlots[7]->filter.outputValid);
  h.Cleanup();
}

// A host whose settings fill the whole buffer and forget the terminating NUL.
class OverfullSettings : public vr::IVRSettings {
 public:
  const char *GetSettingsErrorNameFromEnum(vr::EVRSettingsError) override { return ""; }
  void SetBool(const char *, const char *, bool, vr::EVRSettingsError *) override {}
  void SetInt32(const char *, const char *, int32_t, vr::EVRSettingsError *) override {}
  void SetFloat(const char *, const char *, float, vr::EVRSettingsError *) override {}
  void SetString(const char *, const char *, const char *, vr::EVRSettingsError *) override {}
  bool GetBool(const char *, const char *, vr::EVRSettingsError *) override { return false; }
  int32_t GetInt32(const char *, const char *, vr::EVRSettingsError *) override { return 0; }
  float GetFloat(const char *, const char *, vr::EVRSettingsError *) override { return 0.0f; }
  void GetString(const char *, const char *, char *value, uint32_t size, vr::EVRSettingsError *e) override {
    std::memset(value, 'm', size);
    if (e) *e = vr::VRSettingsError_None;
  }
  void RemoveSection(const char *, vr::EVRSettingsError *) override {}
  void RemoveKeyInSection(const char *, const char *, vr::EVRSettingsError *) override {}
};

// The choice with a setting (none: absent) and its one log line. A test program is not in a driver
// folder, so the automatic choice cannot find the model.
TEST(RenderModelChoice, ExplicitNamesAsTheyStandAutomaticFallsBackWithoutADriverFolder) {
  const std::string fallback =
      "Vantrels render model not usable (no se encontró la carpeta del driver); using SteamVR's Vive tracker model";
  for (const std::optional<std::string> &setting : std::vector<std::optional<std::string>>{
           "Auto", " auto", "{htc}/rendermodels/vr_tracker_vive_1_0", "my/model", std::nullopt, "auto", ""}) {
    host::SubstituteHost host;
    if (setting) host.SetSetting("driver_vantrels", "render_model", *setting);
    vr::InitServerDriverContext(&host);
    const std::string name = ChooseRenderModel();
    vr::CleanupDriverContext();
    const bool automatic = !setting || *setting == "auto" || setting->empty();
    EXPECT_EQ(name, automatic ? kViveTrackerRenderModel : *setting);
    const std::string line = automatic ? fallback : "Render model set in settings: " + *setting;
    EXPECT_EQ(host.LogLines(), std::vector<std::string>{"[Vantrels] " + line});
  }
}

TEST(RenderModelChoice, ASettingThatFillsTheBufferIsNeverReadPastIt) {
  host::SubstituteHost host;
  OverfullSettings settings;
  testing::ContextWith context(host, vr::IVRSettings_Version, &settings);
  vr::InitServerDriverContext(&context);
  const std::string name = ChooseRenderModel();
  vr::CleanupDriverContext();
  EXPECT_EQ(name, std::string(256, 'm'));
}

}  // namespace
}  // namespace vantrels
