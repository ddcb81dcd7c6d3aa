#pragma once

// SteamVR's own files as the doctor reads them: the path registry openvrpaths.vrpath and the
// settings file steamvr.vrsettings. Nothing here writes to them.

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace vantrels::doctor {

// One list of folders of openvrpaths.vrpath ("runtime", "config", "log").
struct FolderList {
  std::vector<std::string> entries;  // the text entries, in order
  std::string error;                 // the list or one of its entries has the wrong type
};

struct OpenVrPaths {
  std::filesystem::path file;
  bool exists = false;
  std::string error;  // the whole file: unreadable, not JSON, not an object
  FolderList runtime, config, log;
  nlohmann::json externalDrivers;  // as written; null when absent
};
OpenVrPaths ReadOpenVrPaths(const std::filesystem::path &file);

// The "driver_vantrels" section of a settings file (steamvr.vrsettings, or the driver folder's
// default.vrsettings).
struct DriverSettings {
  std::filesystem::path file;
  bool located = false;  // the file's place is known
  bool exists = false;
  std::string error;       // unreadable, not JSON, not an object, the section not an object
  nlohmann::json section;  // null when the file or the section is missing
};
DriverSettings ReadDriverSettings(const std::filesystem::path &file);

// Steam's own folder for a SteamVR folder <Steam>/steamapps/common/SteamVR; empty when SteamVR
// lies elsewhere.
std::filesystem::path SteamRootOf(const std::filesystem::path &steamVr);
// The "path" entries of a Steam libraryfolders.vdf.
std::vector<std::string> SteamLibraryFolders(const std::string &vdf);

}  // namespace vantrels::doctor
