#include "host_test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>

namespace vantrels::host::test {

std::filesystem::path FreshTempDir(const std::string &name) {
  const std::filesystem::path dir = std::filesystem::path(HOST_TEST_TMP) / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

void WriteFile(const std::filesystem::path &path, const std::string &text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

FakeSession::FakeSession(HostOptions options, const std::vector<std::string> &sets)
    : host(std::make_unique<SubstituteHost>(std::move(options))) {
  std::string error;
  EXPECT_TRUE(host->LoadDefaultSettings(FakeDriverDir() / "resources/settings/default.vrsettings", error)) << error;
  for (const std::string &set : sets) EXPECT_TRUE(host->ApplySetOption(set, error)) << error;
  driver = LoadedDriver::Load(FakeDriverDir(), error);
  if (driver) provider = host->CallProvider(*driver, error);
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
}

void FakeSession::Frames(int count) {
  for (int i = 0; i < count; ++i, ++frame) {
    host->BeginFrame(frame / 90.0);
    host->CallRunFrame(provider);
  }
}

CliResult RunCli(const std::string &arguments, const std::string &environment) {
  const std::string command = environment + " " VANTRELS_TOOLS_DIR "/vantrels-host " + arguments + " 2>&1";
  FILE *pipe = popen(command.c_str(), "r");
  CliResult result;
  if (!pipe) return result;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) result.output += buffer;
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::vector<nlohmann::json> ReadJsonLines(const std::filesystem::path &path) {
  std::vector<nlohmann::json> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(nlohmann::json::parse(line, nullptr, false));
    EXPECT_FALSE(lines.back().is_discarded()) << "not JSON: " << line;
  }
  return lines;
}

}  // namespace vantrels::host::test
