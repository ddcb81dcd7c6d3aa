// The call record: one JSON object per line, both directions, full poses, decoded properties;
// and the host surviving odd arguments at every entry point.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "host_test_support.h"

namespace vantrels::host::test {
namespace {

std::string Call(const nlohmann::json &line) {
  return line.value("call", "<none>");
}

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
  std::set<std::string> calls;
  for (const auto &line : lines) calls.insert(Call(line));
  EXPECT_FALSE(calls.count("<none>"));
  for (const char *call :
       {"HmdDriverFactory", "GetInterfaceVersions", "Init", "RunFrame", "Activate", "Deactivate",
        "Cleanup",  // host to driver; then driver to host
        "GetGenericInterface", "TrackedDeviceAdded", "TrackedDevicePoseUpdated", "Log", "WritePropertyBatch",
        "ReadPropertyBatch", "GetInt32", "SetString", "GetRawTrackedDevicePoses", "PollNextEvent"}) {
    EXPECT_TRUE(calls.count(call)) << call;
  }
  // Init is recorded on entry and on return.
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const auto &l) { return Call(l) == "Init"; }), 2);

  const auto pose =
      std::find_if(lines.begin(), lines.end(), [](const auto &l) { return Call(l) == "TrackedDevicePoseUpdated"; });
  ASSERT_NE(pose, lines.end());
  EXPECT_EQ((*pose)["pose"].size(), 16u);  // every field of DriverPose_t
  EXPECT_EQ((*pose)["pose"]["qRotation"], nlohmann::json({{"w", 1.0}, {"x", 0.0}, {"y", 0.0}, {"z", 0.0}}));
  EXPECT_EQ((*pose)["pose"]["vecPosition"], nlohmann::json({0.2, 1.0, -0.5}));
  EXPECT_TRUE((*pose)["monotonicNs"].is_number_integer());

  // Property writes carry their decoded values.
  std::set<std::string> values;
  for (const auto &line : lines) {
    if (Call(line) != "WritePropertyBatch") continue;
    for (const auto &entry : line["entries"]) values.insert(entry.value("value", nlohmann::json()).dump());
  }
  EXPECT_TRUE(values.count("\"FAKE-1\""));
  EXPECT_TRUE(values.count("0.75"));
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
  EXPECT_GE(ReadJsonLines(dir / "calls.jsonl").size(), 9u);  // the bad bytes still give valid JSON
}

}  // namespace
}  // namespace vantrels::host::test
