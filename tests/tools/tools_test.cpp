// The command-line tools as users run them: the substitute host refusing what it can't run, the
// simulated tracking server feeding the real driver, with the tracking-error report over the run,
// and that report's plot handed to its drawing program.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"
#include "support/tool_run.h"
#include "support/udp_peer.h"

#if defined(_WIN32)
#define setenv(name, value, overwrite) _putenv_s(name, value)
#endif

namespace vantrels {
namespace {

using testing::RunTool;
using testing::TempDir;
using testing::ToolRun;

const std::string kDriver = std::string("--driver '") + VANTRELS_DRIVER_DIR + "'";

TEST(HostTool, ExitsWithOneForABrokenFolderAndTwoForBadArguments) {
  TempDir dir;
  testing::WriteFile(dir.path() / "vantrels/driver.vrdrivermanifest", R"({"name": "../escape"})");
  ToolRun run = RunTool("vantrels-host", "--driver '" + (dir.path() / "vantrels").string() + "'");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.Has("has no usable \"name\"")) << run.output;  // a name must not leave the folder
  for (const char *arguments : {"--rate 0", "--refuse maybe", "--controllers 64", "--set nodot=1", "--bogus"}) {
    run = RunTool("vantrels-host", kDriver + " " + arguments);
    EXPECT_EQ(run.exitCode, 2) << arguments << "\n" << run.output;
  }
}

// The demo's pipeline: the simulated body sent to the real driver inside the substitute host, and
// the driver's submitted poses compared with the simulator's ground truth.
TEST(DemoPipeline, TheDriverFollowsTheSimulatedBody) {
  TempDir dir;
  const std::string port = std::to_string(testing::FreePort());
  FILE *host = testing::StartTool(
      "vantrels-host", kDriver + " --seconds 5 --rate 45 --quiet --headset moving --controllers 2" +
                           " --set driver_vantrels.port=" + port + " --record '" + (dir / "host.jsonl") + "'");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const ToolRun sim =
      RunTool("vantrels-sim", "--port " + port + " --seconds 2.5 --rate 30 --motion walk --smoothing-ms 20 --record '" +
                                  (dir / "truth.jsonl") + "'");
  const ToolRun hostRun = testing::FinishTool(host);
  EXPECT_EQ(sim.exitCode, 0) << sim.output;
  EXPECT_EQ(hostRun.exitCode, 0) << hostRun.output;
  EXPECT_TRUE(hostRun.Has("19 devices announced (19 accepted, 0 refused)")) << hostRun.output;
  EXPECT_TRUE(sim.Has("host pose reports") && !sim.Has("received 0 host pose reports")) << sim.output;

  const std::string compare = "--truth '" + (dir / "truth.jsonl") + "' --host '" + (dir / "host.jsonl") + "'";
  const ToolRun report = RunTool("vantrels-track-error", compare);
  ASSERT_EQ(report.exitCode, 0) << report.output;
  const size_t row = report.output.find("all trackers");
  ASSERT_NE(row, std::string::npos) << report.output;
  unsigned poses = 0;
  double positionRms = 0.0, positionP95 = 0.0, rotationRms = 0.0;
  ASSERT_EQ(
      std::sscanf(report.output.c_str() + row + 12, "%u %lf %lf %lf", &poses, &positionRms, &positionP95, &rotationRms),
      4)
      << report.output;
  // Loose bounds: the tools here are sanitizer builds on a shared machine, whose frames can come late; the
  // demo measures the release build.
  EXPECT_GT(poses, 100u) << report.output;
  EXPECT_LT(positionRms, 150.0) << report.output;
  EXPECT_LT(rotationRms, 20.0) << report.output;

  // The picture, in a folder with letters outside any ANSI code page beside a file of the user's: the
  // drawing program (a stand-in) gets every name intact, and the numbers in a file of their own.
  const std::filesystem::path folder = dir.path() / u8"Jürgen-Łódź-日本";
  testing::WriteFile(folder / "e.png.csv", "mine");
  const std::u8string utf8Plot = (folder / "e.png").u8string();
  const std::string plot(utf8Plot.begin(), utf8Plot.end());
  setenv("VANTRELS_PYTHON", PLOT_RECORDER, 1);
  const ToolRun drawn = RunTool("vantrels-track-error", compare + " --plot '" + plot + "'");
  ASSERT_EQ(drawn.exitCode, 0) << drawn.output;
  EXPECT_TRUE(drawn.Has("plot: " + plot)) << drawn.output;
  std::vector<std::string> given;
  std::ifstream recorded(folder / "e.png");
  for (std::string line; std::getline(recorded, line);) given.push_back(line);
  ASSERT_EQ(given.size(), 8u);  // script, data, picture, --tracker, serial, --title, title; the data's header
  EXPECT_TRUE(given[0].ends_with("vantrels_track_error_plot.py") && given[2] == plot) << given[0] << "\n" << given[2];
  EXPECT_FALSE(std::filesystem::exists(std::u8string(given[1].begin(), given[1].end()))) << given[1];
  EXPECT_TRUE(given[7].starts_with("t_s,tracker,position_error_mm,")) << given[7];
  std::ifstream users(folder / "e.png.csv");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(users), {}), "mine");
  setenv("VANTRELS_PYTHON", "no-such-python", 1);
  EXPECT_TRUE(RunTool("vantrels-track-error", compare + " --plot '" + plot + "'").Has("(tried no-such-python)"));
#if defined(_WIN32)
  setenv("VANTRELS_PYTHON", "", 1);  // Wine has neither
  EXPECT_TRUE(RunTool("vantrels-track-error", compare + " --plot e.png").Has("(tried py -3, python); install Python"));
#endif
}

}  // namespace
}  // namespace vantrels
