#include "host_test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vantrels::host::test {

std::filesystem::path FakeDriverDir() {
  return FAKE_DRIVER_DIR;
}

std::filesystem::path FreshTempDir(const std::string &name) {
  const std::filesystem::path dir = std::filesystem::path(HOST_TEST_TMP) / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

void WriteFile(const std::filesystem::path &path, const std::string &text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string ReadFile(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

FakeSession::FakeSession(HostOptions options, const std::vector<std::string> &sets) {
  host = std::make_unique<SubstituteHost>(std::move(options));
  std::string error;
  EXPECT_TRUE(host->LoadDefaultSettings(FakeDriverDir() / "resources/settings/default.vrsettings", error)) << error;
  for (const std::string &set : sets) EXPECT_TRUE(host->ApplySetOption(set, error)) << error;
  driver = LoadedDriver::Load(FakeDriverDir(), error);
  if (!driver) {
    ADD_FAILURE() << error;
    return;
  }
  provider = host->CallProvider(*driver, error);
  if (!provider) {
    ADD_FAILURE() << error;
    return;
  }
  host->CallGetInterfaceVersions(provider);
  init = host->CallInit(provider);
}

FakeSession::~FakeSession() {
  if (provider && init == vr::VRInitError_None) {
    host->DeactivateAll();
    host->CallCleanup(provider);
  }
  driver.reset();
}

void FakeSession::Frames(int count) {
  for (int i = 0; i < count; ++i, ++frame) {
    host->BeginFrame(frame / 90.0);
    host->CallRunFrame(provider);
  }
}

CliResult RunCli(const std::string &arguments, const std::string &environment) {
  // ctest runs tests in parallel processes: each run gets its own output files.
  static int runs = 0;
  const std::filesystem::path dir =
      std::filesystem::path(HOST_TEST_TMP) / ("cli_output_" + std::to_string(getpid()) + "_" + std::to_string(++runs));
  std::filesystem::create_directories(dir);
  const std::filesystem::path out = dir / "stdout.txt", err = dir / "stderr.txt";
  const std::string command = environment + " " + std::string(VANTRELS_TOOLS_DIR) + "/vantrels-host " + arguments +
                              " >" + out.string() + " 2>" + err.string();
  const int status = std::system(command.c_str());
  CliResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadFile(out);
  result.err = ReadFile(err);
  return result;
}

std::vector<nlohmann::json> ReadJsonLines(const std::filesystem::path &path) {
  std::vector<nlohmann::json> lines;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
    EXPECT_FALSE(j.is_discarded()) << "not JSON: " << line;
    lines.push_back(j);
  }
  return lines;
}

}  // namespace vantrels::host::test
