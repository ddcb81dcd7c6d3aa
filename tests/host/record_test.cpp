// The call record: one JSON object per line, both directions, full poses, decoded properties;
// and the host surviving odd arguments at every entry point.
#include <gtest/gtest.h>

#include <set>

#include "host_test_support.h"

namespace vantrels::host::test {
namespace {

TEST(RecordTest, EveryLineIsJsonAndBothDirectionsAppear) {
  const auto dir = FreshTempDir("record");
  HostOptions options;
  options.recordPath = (dir / "calls.jsonl").string();
  options.controllers = 1;
  {
    FakeSession session(options);
    session.Frames(2);
  }
  const auto lines = ReadJsonLines(dir / "calls.jsonl");
  ASSERT_GT(lines.size(), 20u);
  std::set<std::string> calls;
  for (const auto &line : lines) {
    ASSERT_TRUE(line.contains("call")) << line.dump();
    calls.insert(line["call"].get<std::string>());
  }
  for (const char *hostToDriver :
       {"HmdDriverFactory", "GetInterfaceVersions", "Init", "RunFrame", "Activate", "Deactivate", "Cleanup"}) {
    EXPECT_TRUE(calls.count(hostToDriver)) << hostToDriver;
  }
  for (const char *driverToHost :
       {"GetGenericInterface", "TrackedDeviceAdded", "TrackedDevicePoseUpdated", "Log", "WritePropertyBatch",
        "ReadPropertyBatch", "GetInt32", "SetString", "GetRawTrackedDevicePoses", "PollNextEvent"}) {
    EXPECT_TRUE(calls.count(driverToHost)) << driverToHost;
  }

  bool sawPose = false, sawString = false, sawFloat = false, sawLog = false;
  for (const auto &line : lines) {
    const std::string call = line["call"];
    if (call == "TrackedDevicePoseUpdated" && !sawPose) {
      sawPose = true;
      const auto &pose = line["pose"];
      EXPECT_EQ(pose.size(), 16u);  // every field of DriverPose_t
      EXPECT_EQ(pose["qRotation"], nlohmann::json({{"w", 1.0}, {"x", 0.0}, {"y", 0.0}, {"z", 0.0}}));
      EXPECT_EQ(pose["vecPosition"], nlohmann::json({0.2, 1.0, -0.5}));
      EXPECT_EQ(pose["result"], 200);
      EXPECT_EQ(line["size"], 280);
      EXPECT_TRUE(line["monotonicNs"].is_number_integer());
    }
    if (call == "WritePropertyBatch") {
      for (const auto &entry : line["entries"]) {
        if (entry["prop"] == vr::Prop_SerialNumber_String) {
          sawString = true;
          EXPECT_EQ(entry["type"], "string");
          EXPECT_EQ(entry["tag"], 5);
          EXPECT_TRUE(entry["value"] == "FAKE-1" || entry["value"] == "FAKE-2") << entry.dump();
        }
        if (entry["prop"] == vr::Prop_DeviceBatteryPercentage_Float) {
          sawFloat = true;
          EXPECT_EQ(entry["value"], 0.75);
        }
      }
    }
    if (call == "Log" && !sawLog) {
      sawLog = true;
      EXPECT_EQ(line["text"], "fake: Init port 21110 error 0");
    }
  }
  EXPECT_TRUE(sawPose && sawString && sawFloat && sawLog);
}

TEST(RecordTest, ReturnsAreWrittenButNotCountedAsCalls) {
  const auto dir = FreshTempDir("record_returns");
  HostOptions options;
  options.recordPath = (dir / "calls.jsonl").string();
  FakeSession session(options, {"driver_fakedrv.devices=0"});
  const auto lines = ReadJsonLines(dir / "calls.jsonl");
  int initLines = 0;
  for (const auto &line : lines) initLines += line["call"] == "Init" ? 1 : 0;
  EXPECT_EQ(initLines, 2);  // enter and return
  EXPECT_EQ(lines.back()["result"], 0);
  EXPECT_EQ(std::count(session.host->CallNames().begin(), session.host->CallNames().end(), "Init"), 1);
}

TEST(RecordTest, UnopenableRecordFileIsReported) {
  HostOptions options;
  options.recordPath = "/nonexistent-folder/calls.jsonl";
  SubstituteHost host(options);
  std::string error;
  EXPECT_FALSE(host.RecordOpen(error));
  EXPECT_NE(error.find("calls.jsonl"), std::string::npos);
}

TEST(HostRobustnessTest, OddArgumentsNeverCrashAndAreNoted) {
  const auto dir = FreshTempDir("robust");
  HostOptions options;
  options.recordPath = (dir / "calls.jsonl").string();
  SubstituteHost host(options);
  auto *server = Interface<vr::IVRServerDriverHost>(host, vr::IVRServerDriverHost_Version);
  auto *log = Interface<vr::IVRDriverLog>(host, vr::IVRDriverLog_Version);
  auto *settings = Interface<vr::IVRSettings>(host, vr::IVRSettings_Version);
  auto *resources = Interface<vr::IVRResources>(host, vr::IVRResources_Version);
  log->Log(nullptr);
  log->Log("bad utf-8 \xff\xfe end");
  settings->SetBool(nullptr, "k", true);
  settings->GetString(nullptr, nullptr, nullptr, 10);
  server->RequestRestart(nullptr, nullptr, nullptr, nullptr);
  server->VsyncEvent(0.0);
  EXPECT_FALSE(server->IsExiting());
  EXPECT_EQ(server->GetFrameTimings(nullptr, 3), 0u);
  EXPECT_EQ(resources->LoadSharedResource(nullptr, nullptr, 0), 0u);
  ASSERT_EQ(host.LogLines().size(), 2u);
  EXPECT_EQ(host.LogLines()[0], "");
  EXPECT_FALSE(host.Anomalies().empty());
  const auto lines = ReadJsonLines(dir / "calls.jsonl");  // the bad bytes still give valid JSON
  EXPECT_GE(lines.size(), 9u);
}

}  // namespace
}  // namespace vantrels::host::test
