#include "steamvr_files.h"

#include <sstream>

#include "files.h"

namespace vantrels::doctor {

namespace fs = std::filesystem;

namespace {

FolderList ReadFolderList(const nlohmann::json &root, const char *key, const fs::path &file) {
  FolderList list;
  const auto found = root.find(key);
  if (found == root.end() || found->is_null()) return list;
  const std::string where = std::string("\"") + key + "\" in " + Quoted(file);
  if (!found->is_array()) {
    list.error = where + " is " + JsonKind(*found) + ", not a list of folders";
    return list;
  }
  for (size_t i = 0; i < found->size(); ++i) {
    const nlohmann::json &entry = (*found)[i];
    if (entry.is_string()) {
      list.entries.push_back(entry.get<std::string>());
    } else if (list.error.empty()) {
      list.error = "entry " + std::to_string(i + 1) + " of " + where + " is " + JsonKind(entry) + ", not a folder";
    }
  }
  return list;
}

}  // namespace

OpenVrPaths ReadOpenVrPaths(const fs::path &file) {
  OpenVrPaths paths;
  paths.file = file;
  JsonFile json = ReadJsonFile(file);
  paths.exists = json.exists;
  if (!json.exists) return paths;
  if (!json.error.empty()) {
    paths.error = json.error;
    return paths;
  }
  if (!json.value.is_object()) {
    paths.error = Quoted(file) + " holds " + JsonKind(json.value) + ", not SteamVR's object of folder lists";
    return paths;
  }
  paths.runtime = ReadFolderList(json.value, "runtime", file);
  paths.config = ReadFolderList(json.value, "config", file);
  paths.log = ReadFolderList(json.value, "log", file);
  if (const auto drivers = json.value.find("external_drivers"); drivers != json.value.end()) {
    paths.externalDrivers = *drivers;
  }
  return paths;
}

DriverSettings ReadDriverSettings(const fs::path &file) {
  DriverSettings settings;
  settings.file = file;
  settings.located = true;
  JsonFile json = ReadJsonFile(file);
  settings.exists = json.exists;
  if (!json.exists) return settings;
  settings.error = json.error;
  if (!settings.error.empty()) return settings;
  if (!json.value.is_object()) {
    settings.error = Quoted(file) + " holds " + JsonKind(json.value) + ", not an object of settings sections";
    return settings;
  }
  const auto section = json.value.find("driver_vantrels");
  if (section == json.value.end() || section->is_null()) return settings;
  if (!section->is_object()) {
    settings.error = "\"driver_vantrels\" in " + Quoted(file) + " is " + JsonKind(*section) + ", not a section";
    return settings;
  }
  settings.section = *section;
  return settings;
}

fs::path SteamRootOf(const fs::path &steamVr) {
  const fs::path folder = steamVr.lexically_normal();
  const fs::path common = (folder.has_filename() ? folder : folder.parent_path()).parent_path();
  if (common.filename() != "common" || common.parent_path().filename() != "steamapps") return {};
  return common.parent_path().parent_path();
}

std::vector<std::string> SteamLibraryFolders(const std::string &vdf) {
  // Lines like:   "path"		"/home/me/Games/SteamLibrary"   with \\ for a backslash.
  std::vector<std::string> folders;
  std::istringstream in(vdf);
  for (std::string line; std::getline(in, line);) {
    const size_t key = line.find("\"path\"");
    if (key == std::string::npos) continue;
    const size_t open = line.find('"', key + 6);
    const size_t close = line.rfind('"');
    if (open == std::string::npos || close <= open) continue;
    std::string value;
    for (size_t i = open + 1; i < close; ++i) {
      if (line[i] == '\\' && i + 1 < close) ++i;
      value += line[i];
    }
    folders.push_back(value);
  }
  return folders;
}

}  // namespace vantrels::doctor
