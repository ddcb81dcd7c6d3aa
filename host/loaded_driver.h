// A driver folder loaded the way the VR server loads one: the manifest names the driver, the
// library is bin/linux64/driver_<name>.so (bin/win64/driver_<name>.dll on Windows) below the
// folder, and its one export is HmdDriverFactory.
#pragma once

#include <openvr_driver.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vantrels::host {

class LoadedDriver {
 public:
  // Null with a one-line message when the folder, the manifest, its name, the library or the
  // export is missing or broken.
  static std::unique_ptr<LoadedDriver> Load(const std::filesystem::path &driverDir, std::string &error);

  ~LoadedDriver();  // unloads the library
  LoadedDriver(const LoadedDriver &) = delete;
  LoadedDriver &operator=(const LoadedDriver &) = delete;

  // Calls HmdDriverFactory; returnCode may be null.
  void *Factory(const char *interfaceName, int *returnCode);
  // Asks the factory for "IServerTrackedDeviceProvider_004".
  vr::IServerTrackedDeviceProvider *Provider(std::string &error);

  const std::filesystem::path &LibraryPath() const { return libraryPath_; }
  const std::filesystem::path &Folder() const { return folder_; }
  const std::string &Name() const { return name_; }
  int LastReturnCode() const { return lastReturnCode_; }
  // Things the server would object to but that do not stop loading (folder name differs).
  const std::vector<std::string> &Warnings() const { return warnings_; }

 private:
  using FactoryFn = void *(*)(const char *, int *);
  LoadedDriver() = default;

  std::filesystem::path folder_;
  std::filesystem::path libraryPath_;
  std::string name_;
  void *handle_ = nullptr;
  FactoryFn factory_ = nullptr;
  int lastReturnCode_ = 0;
  std::vector<std::string> warnings_;
};

}  // namespace vantrels::host
