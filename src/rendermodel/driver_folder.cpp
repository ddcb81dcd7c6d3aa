#include "rendermodel/driver_folder.h"

#include <exception>
#include <filesystem>
#include <system_error>

#include "rendermodel/module_path.h"

namespace vantrels {

namespace {

constexpr const char *kManifestName = "driver.vrdrivermanifest";

}  // namespace

std::string FindDriverFolder() noexcept {
  try {
    const std::filesystem::path library = OwnModuleFilePath();
    if (library.empty()) return {};

    // library file -> its folder (bin/<platform>) -> bin -> the driver folder. A root stays a root.
    const std::filesystem::path candidate = library.parent_path().parent_path().parent_path();

    // Only the marker's presence matters: a file, a folder or a link to an existing entry all count.
    std::error_code ec;
    const bool found = std::filesystem::exists(candidate / kManifestName, ec);
    if (ec || !found) return {};

    const std::u8string utf8 = candidate.u8string();
    return std::string(utf8.begin(), utf8.end());
  } catch (const std::exception &) {
    return {};
  }
}

}  // namespace vantrels
