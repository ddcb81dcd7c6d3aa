// vantrels-host as a user runs it: exit codes and messages.
#include <gtest/gtest.h>

#include "host_test_support.h"

namespace vantrels::host::test {
namespace {

const std::string kFake = "--driver " FAKE_DRIVER_DIR;

bool Has(const CliResult &r, const std::string &text) {
  return r.output.find(text) != std::string::npos;
}

TEST(CliTest, FailuresExitWithOneOrTwo) {
  auto r = RunCli("--driver " + (FreshTempDir("cli_broken") / "absent").string());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Has(r, "vantrels-host: driver folder not found")) << r.output;

  r = RunCli(kFake + " --frames 3 --set driver_fakedrv.init_result=200");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Has(r, "vantrels-host: Init failed with error 200")) << r.output;

  for (const char *args : {"--seconds 1 --frames 3", "--rate 0", "--rate -5", "--rate abc", "--refuse maybe",
                           "--refuse first:", "--refuse first:x", "--activate later", "--headset upside-down",
                           "--controllers 64", "--set nodot=1", "--seconds -1", "--bogus"}) {
    r = RunCli(kFake + " " + args);
    EXPECT_EQ(r.exitCode, 2) << args << "\n" << r.output;
    EXPECT_FALSE(r.output.empty()) << args;
  }
  EXPECT_EQ(RunCli("--frames 3").exitCode, 2);  // no driver folder
  EXPECT_EQ(RunCli("--help").exitCode, 0);
}

TEST(CliTest, RunsFramesAndSummarises) {
  const auto dir = FreshTempDir("cli_run");
  auto r = RunCli(kFake + " --frames 5 --rate 200 --controllers 2 --refuse first:1 --set driver_fakedrv.port=21111" +
                  " --record " + (dir / "calls.jsonl").string());
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(Has(r, "fake: Init port 21111 error 0")) << r.output;  // --set beats the defaults
  EXPECT_TRUE(Has(r, "5 frames, 3 devices announced (2 accepted, 1 refused)")) << r.output;
  EXPECT_LT(r.output.find("fake: deactivated FAKE-1"), r.output.find("fake: Cleanup"));
  EXPECT_FALSE(ReadJsonLines(dir / "calls.jsonl").empty());

  r = RunCli(kFake + " --seconds 1.2 --rate 50 --status --quiet");
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_FALSE(Has(r, "fake: Init"));  // quiet: no driver lines
  for (const char *text : {"FAKE-2", "75%", "0.200,1.000,-0.500", "60 frames"}) EXPECT_TRUE(Has(r, text)) << text;

  r = RunCli(kFake + " --frames 1 --quiet", "FAKE_DRIVER_OLD_VERSIONS=1");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(Has(r, "warning: the driver does not list ITrackedDeviceServerDriver_005")) << r.output;
}

}  // namespace
}  // namespace vantrels::host::test
