#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>

#include "track_error.h"

namespace vantrels::sim {
namespace {

constexpr int64_t kMs = 1'000'000;

// Chest moving along x at 1 m/s and turning about y at 0.5 rad/s from t = 1 s to 2 s.
Vec3 ChestAt(double s) {
  return {s, 1.3, -0.5};
}
Quat ChestRotationAt(double s) {
  return RotY(0.5 * s);
}

std::string TruthLine(int64_t tNs, int index, Vec3 p, Quat q, bool valid) {
  char line[512];
  std::snprintf(line, sizeof line,
                "{\"t_ns\":%lld,\"index\":%d,\"x\":%.9g,\"y\":%.9g,\"z\":%.9g,\"qw\":%.9g,\"qx\":%.9g,\"qy\":%.9g,"
                "\"qz\":%.9g,\"valid\":%s,\"sent\":true}\n",
                static_cast<long long>(tNs), index, p.x, p.y, p.z, q.w, q.x, q.y, q.z, valid ? "true" : "false");
  return line;
}

std::string TruthText() {
  std::string out;
  for (int64_t t = 1000 * kMs; t <= 2000 * kMs; t += 10 * kMs) {
    const double s = static_cast<double>(t) * 1e-9;
    out += TruthLine(t, 1, ChestAt(s), ChestRotationAt(s), true);
    // The left hand is lost from 1.5 s on.
    out += TruthLine(t, 16, {0.0, 1.0, 0.0}, Quat{}, t < 1500 * kMs);
  }
  return out;
}

std::string PoseLine(int device, int64_t tNs, Vec3 p, Quat q, bool valid, const std::string &extra = "") {
  char line[1024];
  std::snprintf(line, sizeof line,
                "{\"call\":\"TrackedDevicePoseUpdated\",\"deviceIndex\":%d,\"size\":280,\"monotonicNs\":%lld,"
                "\"pose\":{\"poseTimeOffset\":0.0,\"qWorldFromDriverRotation\":{\"w\":1.0,\"x\":0.0,\"y\":0.0,"
                "\"z\":0.0},\"vecWorldFromDriverTranslation\":[0.0,0.0,0.0],\"vecPosition\":[%.17g,%.17g,%.17g],"
                "\"qRotation\":{\"w\":%.17g,\"x\":%.17g,\"y\":%.17g,\"z\":%.17g},\"poseIsValid\":%s%s}}\n",
                device, static_cast<long long>(tNs), p.x, p.y, p.z, q.w, q.x, q.y, q.z, valid ? "true" : "false",
                extra.c_str());
  return line;
}

// Chest (device 3) 3-4-0 mm off and 2 degrees turned at 50 moments between the truth samples;
// the left hand (device 4) off by 1 mm, 2 mm, ... 40 mm while tracked.
std::string HostText() {
  std::string out =
      "{\"call\":\"TrackedDeviceAdded\",\"serial\":\"VANTRL-CHEST\",\"deviceClass\":3,\"driver\":true,"
      "\"deviceIndex\":3,\"result\":true}\n"
      "{\"call\":\"TrackedDeviceAdded\",\"serial\":\"VANTRL-LEFT-HAND\",\"deviceClass\":3,\"driver\":true,"
      "\"deviceIndex\":4,\"result\":true}\n"
      "{\"call\":\"TrackedDeviceAdded\",\"serial\":\"OTHER\",\"deviceClass\":3,\"driver\":true,"
      "\"deviceIndex\":5,\"result\":true}\n"
      "not json at all\n";
  const Quat twist = AxisAngle({0.0, 0.6, 0.8}, 2.0 * std::numbers::pi / 180.0);
  for (int k = 0; k < 50; ++k) {
    const int64_t t = 1003 * kMs + k * 19 * kMs;
    const double s = static_cast<double>(t) * 1e-9;
    out += PoseLine(3, t, ChestAt(s) + Vec3{0.003, 0.004, 0.0}, ChestRotationAt(s) * twist, true);
  }
  for (int k = 1; k <= 40; ++k) {
    out += PoseLine(4, 1000 * kMs + k * 10 * kMs + 5 * kMs, {0.001 * k, 1.0, 0.0}, Quat{}, true);
  }
  out += PoseLine(3, 1500 * kMs, {9.0, 9.0, 9.0}, Quat{}, false);  // not valid: not compared
  out += PoseLine(3, 500 * kMs, {9.0, 9.0, 9.0}, Quat{}, true);    // before the truth
  out += PoseLine(3, 2500 * kMs, {9.0, 9.0, 9.0}, Quat{}, true);   // after it
  out += PoseLine(4, 1700 * kMs, {9.0, 9.0, 9.0}, Quat{}, true);   // hand lost in the truth
  out += PoseLine(5, 1500 * kMs, {9.0, 9.0, 9.0}, Quat{}, true);   // no body point
  out +=
      "{\"call\":\"TrackedDevicePoseUpdated\",\"deviceIndex\":3,\"pose\":{\"poseIsValid\":true,"
      "\"vecPosition\":[0,0,0],\"qRotation\":{\"w\":1,\"x\":0,\"y\":0,\"z\":0}}}\n";  // no time
  return out;
}

TEST(TrackError, KnownOffsetsGiveKnownErrors) {
  std::istringstream truthIn(TruthText());
  std::istringstream hostIn(HostText());
  const Truth truth = ReadTruth(truthIn);
  const HostRecord host = ReadHostRecord(hostIn);
  // The last sample itself counts; a moment between a tracked and a lost sample does not.
  EXPECT_TRUE(TruthAt(truth.points[1], 2000 * kMs).has_value());
  EXPECT_FALSE(TruthAt(truth.points[16], 1495 * kMs).has_value());
  EXPECT_EQ(host.invalidPoses, 1u);
  EXPECT_EQ(host.unknownDevice, 1u);
  EXPECT_EQ(host.missingTime, 1u);
  EXPECT_EQ(host.badLines, 1u);

  const Evaluation e = Evaluate(truth, host.submissions);
  EXPECT_EQ(e.outsideTruth, 2u);
  EXPECT_EQ(e.notTracked, 1u);
  ASSERT_EQ(e.perPoint.size(), 2u);

  const auto &[chest, cs] = e.perPoint[0];
  EXPECT_EQ(chest, 1);
  EXPECT_EQ(cs.count, 50u);
  EXPECT_NEAR(cs.positionRmsMm, 5.0, 1e-3);
  EXPECT_NEAR(cs.rotationRmsDeg, 2.0, 1e-3);
  EXPECT_NEAR(cs.rotationP95Deg, 2.0, 1e-3);

  // 1..40 mm: RMS sqrt(sum k^2 / 40), 95th percentile by nearest rank is the 38th value.
  const auto &[hand, hs] = e.perPoint[1];
  EXPECT_EQ(hand, 16);
  EXPECT_EQ(hs.count, 40u);
  double sum = 0.0;
  for (int k = 1; k <= 40; ++k) sum += k * k;
  EXPECT_NEAR(hs.positionRmsMm, std::sqrt(sum / 40.0), 1e-3);
  EXPECT_NEAR(hs.positionP95Mm, 38.0, 1e-3);
  EXPECT_NEAR(hs.rotationRmsDeg, 0.0, 1e-6);

  EXPECT_EQ(e.overall.count, 90u);
  const std::string table = FormatEvaluation(e, host);
  for (const char *text : {"VANTRL-LEFT-HAND", "all trackers", "without a monotonic time"}) {
    EXPECT_NE(table.find(text), std::string::npos) << text;
  }
}

TEST(TrackError, AppliesTheWorldFromDriverTransform) {
  std::istringstream truthIn(TruthText());
  const Truth truth = ReadTruth(truthIn);
  // Driver space shifted 1 m along +y and the pose placed 1 m lower: no error in the world.
  const double s = 1.25;
  const Vec3 p = ChestAt(s) - Vec3{0.0, 1.0, 0.0};
  const Quat q = ChestRotationAt(s);
  std::string line = PoseLine(3, 1250 * kMs, p, q, true);
  const std::string shifted = "\"vecWorldFromDriverTranslation\":[0.0,1.0,0.0]";
  line.replace(line.find("\"vecWorldFromDriverTranslation\":[0.0,0.0,0.0]"), shifted.size(), shifted);
  std::istringstream hostIn(
      "{\"call\":\"TrackedDeviceAdded\",\"serial\":\"VANTRL-CHEST\",\"deviceIndex\":3,\"result\":true}\n" + line);
  const Evaluation e = Evaluate(truth, ReadHostRecord(hostIn).submissions);
  ASSERT_EQ(e.overall.count, 1u);
  EXPECT_NEAR(e.overall.positionRmsMm, 0.0, 1e-3);
}

TEST(TrackError, CommandLine) {
  const auto dir = std::filesystem::temp_directory_path() / ("vantrels_track_error_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string truth = (dir / "truth.jsonl").string(), host = (dir / "host.jsonl").string();
  std::ofstream(truth) << TruthText();
  std::ofstream(host) << HostText();
  const auto run = [](const std::string &arguments, std::string &output) {
    FILE *p = popen((VANTRELS_TOOLS_DIR "/vantrels-track-error " + arguments + " 2>&1").c_str(), "r");
    char buffer[512];
    while (p && std::fgets(buffer, sizeof buffer, p) != nullptr) output += buffer;
    return p ? WEXITSTATUS(pclose(p)) : -1;
  };
  std::string output;
  EXPECT_EQ(run("--truth " + truth + " --host " + host, output), 0) << output;
  EXPECT_NE(output.find("VANTRL-CHEST"), std::string::npos) << output;
  EXPECT_NE(output.find("5.0"), std::string::npos) << output;
  EXPECT_EQ(run("--truth " + truth, output), 2);
  EXPECT_EQ(run("--truth /nonexistent --host /nonexistent", output), 2);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vantrels::sim
