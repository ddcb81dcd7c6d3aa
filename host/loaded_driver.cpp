#include "host/loaded_driver.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <system_error>

#include "host/driver_library.h"

namespace vantrels::host {

namespace {

constexpr const char *kManifest = "driver.vrdrivermanifest";

// The name becomes part of a file path: one plain path component only.
bool UsableName(const std::string &name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

std::unique_ptr<LoadedDriver> LoadedDriver::Load(const std::filesystem::path &driverDir, std::string &error) {
  std::error_code ec;
  if (driverDir.empty() || !std::filesystem::is_directory(driverDir, ec)) {
    error = "driver folder not found: " + driverDir.string();
    return nullptr;
  }
  const std::filesystem::path manifestPath = driverDir / kManifest;
  if (!std::filesystem::is_regular_file(manifestPath, ec)) {
    error = "no " + std::string(kManifest) + " in " + driverDir.string();
    return nullptr;
  }
  std::ifstream in(manifestPath);
  nlohmann::json manifest = nlohmann::json::parse(in, nullptr, false);
  if (!in.good() && !in.eof()) {
    error = "cannot read " + manifestPath.string();
    return nullptr;
  }
  if (manifest.is_discarded() || !manifest.is_object()) {
    error = manifestPath.string() + " is not a JSON object";
    return nullptr;
  }
  auto nameField = manifest.find("name");
  if (nameField == manifest.end() || !nameField->is_string() || !UsableName(nameField->get<std::string>())) {
    error = manifestPath.string() + " has no usable \"name\"";
    return nullptr;
  }

  std::unique_ptr<LoadedDriver> driver(new LoadedDriver());
  std::filesystem::path folder = std::filesystem::absolute(driverDir, ec).lexically_normal();
  if (ec) folder = driverDir;
  if (folder.filename().empty()) folder = folder.parent_path();  // a trailing slash
  driver->folder_ = folder;
  driver->name_ = nameField->get<std::string>();
  if (folder.filename() != driver->name_) {
    // The server insists that folder and name agree; here it is only worth a warning.
    driver->warnings_.push_back("driver folder '" + folder.filename().string() + "' differs from manifest name '" +
                                driver->name_ + "'; the VR server would refuse it");
  }
  // "directory" moves the rest of the driver relative to the manifest; empty means here.
  std::filesystem::path root = folder;
  auto directory = manifest.find("directory");
  if (directory != manifest.end() && directory->is_string() && !directory->get<std::string>().empty()) {
    root /= directory->get<std::string>();
  }
  driver->libraryPath_ = root / "bin" / kPlatformFolder / ("driver_" + driver->name_ + kLibrarySuffix);
  if (!std::filesystem::is_regular_file(driver->libraryPath_, ec)) {
    error = "driver library not found: " + driver->libraryPath_.string();
    return nullptr;
  }
  std::string why;
  driver->handle_ = OpenLibrary(driver->libraryPath_, why);
  if (driver->handle_ == nullptr) {
    error = "cannot load " + driver->libraryPath_.string() + ": " + why;
    return nullptr;
  }
  void *symbol = LibrarySymbol(driver->handle_, "HmdDriverFactory");
  if (symbol == nullptr) {
    error = driver->libraryPath_.string() + " does not export HmdDriverFactory";
    return nullptr;  // the destructor closes the library
  }
  driver->factory_ = reinterpret_cast<FactoryFn>(symbol);
  return driver;
}

LoadedDriver::~LoadedDriver() {
  if (handle_ != nullptr) CloseLibrary(handle_);
}

void *LoadedDriver::Factory(const char *interfaceName, int *returnCode) {
  if (!factory_) return nullptr;
  // The caller's pointer goes through unchanged, so that what the driver writes (or leaves
  // alone, or must not touch when it is null) is what the caller sees.
  void *result = factory_(interfaceName, returnCode);
  lastReturnCode_ = returnCode != nullptr ? *returnCode : 0;
  return result;
}

vr::IServerTrackedDeviceProvider *LoadedDriver::Provider(std::string &error) {
  int code = 0;
  void *result = Factory(vr::IServerTrackedDeviceProvider_Version, &code);
  if (result == nullptr) {
    error = "HmdDriverFactory returned no " + std::string(vr::IServerTrackedDeviceProvider_Version) + " (error " +
            std::to_string(code) + ")";
    return nullptr;
  }
  return static_cast<vr::IServerTrackedDeviceProvider *>(result);
}

}  // namespace vantrels::host
