// Shared helpers of the host tests: temporary folders, a session with the fake driver, and a
// runner for the vantrels-host command.
#pragma once

#include <openvr_driver.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/loaded_driver.h"
#include "host/substitute_host.h"

namespace vantrels::host::test {

inline std::filesystem::path FakeDriverDir() {
  return FAKE_DRIVER_DIR;
}
// An empty folder of this name under the test build folder.
std::filesystem::path FreshTempDir(const std::string &name);
void WriteFile(const std::filesystem::path &path, const std::string &text);

template <typename T>
T *Interface(SubstituteHost &host, const char *version) {
  return static_cast<T *>(host.GetGenericInterface(version, nullptr));
}

// A device object that only counts what the host does to it.
struct StubDevice : vr::ITrackedDeviceServerDriver {
  vr::EVRInitError Activate(uint32_t objectId) override {
    activatedAs = objectId;
    ++activations;
    return vr::VRInitError_None;
  }
  void Deactivate() override { ++deactivations; }
  void EnterStandby() override {}
  void *GetComponent(const char *) override { return nullptr; }
  void DebugRequest(const char *, char *, uint32_t) override {}
  vr::DriverPose_t GetPose() override { return {}; }
  uint32_t activatedAs = vr::k_unTrackedDeviceIndexInvalid;
  int activations = 0;
  int deactivations = 0;
};

// The fake driver loaded, its provider fetched and Init called with the host.
struct FakeSession {
  explicit FakeSession(HostOptions options = {}, const std::vector<std::string> &sets = {});
  ~FakeSession();
  void Frames(int count);  // BeginFrame and RunFrame, 1/90 s apart

  std::unique_ptr<SubstituteHost> host;
  std::unique_ptr<LoadedDriver> driver;
  vr::IServerTrackedDeviceProvider *provider = nullptr;
  vr::EVRInitError init = vr::VRInitError_Unknown;
  int frame = 0;
};

// Runs vantrels-host with the given (shell-quoted) arguments; output is stdout and stderr merged.
struct CliResult {
  int exitCode = -1;
  std::string output;
};
CliResult RunCli(const std::string &arguments, const std::string &environment = "");

std::vector<nlohmann::json> ReadJsonLines(const std::filesystem::path &path);

}  // namespace vantrels::host::test
