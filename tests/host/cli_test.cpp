// vantrels-host as a user runs it: exit codes and messages.
#include <gtest/gtest.h>

#include "host_test_support.h"

namespace vantrels::host::test {
namespace {

std::string Fake() {
  return "--driver " + FakeDriverDir().string();
}

TEST(CliTest, BrokenDriverFoldersExitWithOne) {
  const auto root = FreshTempDir("cli_broken");
  auto r = RunCli("--driver " + (root / "absent").string());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("vantrels-host: driver folder not found"), std::string::npos) << r.err;

  std::filesystem::create_directories(root / "empty");
  r = RunCli("--driver " + (root / "empty").string());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("no driver.vrdrivermanifest"), std::string::npos) << r.err;

  WriteFile(root / "ghost/driver.vrdrivermanifest", R"({"name": "ghost"})");
  r = RunCli("--driver " + (root / "ghost").string());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("driver library not found"), std::string::npos) << r.err;

  WriteFile(root / "noexp/driver.vrdrivermanifest", R"({"name": "noexp"})");
  std::filesystem::create_directories(root / "noexp/bin/linux64");
  std::filesystem::copy_file(FAKE_NOEXPORT_LIB, root / "noexp/bin/linux64/driver_noexp.so");
  r = RunCli("--driver " + (root / "noexp").string());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("does not export HmdDriverFactory"), std::string::npos) << r.err;
}

TEST(CliTest, FailedInitExitsWithOneAndItsCode) {
  const auto r = RunCli(Fake() + " --frames 3 --set driver_fakedrv.init_result=200");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("vantrels-host: Init failed with error 200"), std::string::npos) << r.err;
}

TEST(CliTest, BadArgumentsExitWithTwo) {
  for (const std::string &args :
       {std::string("--frames 3"), Fake() + " --seconds 1 --frames 3", Fake() + " --rate 0", Fake() + " --rate -5",
        Fake() + " --rate abc", Fake() + " --refuse maybe", Fake() + " --refuse first:", Fake() + " --refuse first:x",
        Fake() + " --activate later", Fake() + " --headset upside-down", Fake() + " --controllers 64",
        Fake() + " --set nodot=1", Fake() + " --seconds -1", Fake() + " --bogus"}) {
    const auto r = RunCli(args);
    EXPECT_EQ(r.exitCode, 2) << args << "\n" << r.err;
    EXPECT_FALSE(r.err.empty()) << args;
  }
  EXPECT_EQ(RunCli("--help").exitCode, 0);
}

TEST(CliTest, RunsFramesAndSummarises) {
  const auto dir = FreshTempDir("cli_run");
  const auto r =
      RunCli(Fake() + " --frames 5 --rate 200 --controllers 2 --refuse first:1 --set driver_fakedrv.port=21111" +
             " --record " + (dir / "calls.jsonl").string());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("fake: Init port 21111 error 0"), std::string::npos) << r.out;  // --set beats the defaults
  EXPECT_NE(r.out.find("Init returned 0"), std::string::npos);
  EXPECT_NE(r.out.find("interface versions: IVRSettings_003 ITrackedDeviceServerDriver_005"), std::string::npos);
  EXPECT_NE(r.out.find("5 frames, 3 devices announced (2 accepted, 1 refused)"), std::string::npos) << r.out;
  EXPECT_LT(r.out.find("fake: deactivated FAKE-1"), r.out.find("fake: Cleanup"));
  EXPECT_FALSE(ReadJsonLines(dir / "calls.jsonl").empty());
}

TEST(CliTest, QuietStatusAndVersionWarning) {
  auto r = RunCli(Fake() + " --seconds 1.2 --rate 50 --status --quiet");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out.find("fake: Init"), std::string::npos);  // quiet: no driver lines
  EXPECT_NE(r.out.find("FAKE-2"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("75%"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("0.200,1.000,-0.500"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("60 frames"), std::string::npos) << r.out;

  r = RunCli(Fake() + " --frames 1 --quiet", "FAKE_DRIVER_OLD_VERSIONS=1");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.err.find("warning: the driver does not list ITrackedDeviceServerDriver_005"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace vantrels::host::test
