// Linux: where SteamVR and its files are, and what the C library is.
#include <gnu/libc-version.h>

#include <cstdlib>
#include <system_error>

#include "files.h"
#include "platform.h"
#include "steamvr_files.h"

namespace vantrels::doctor {

namespace fs = std::filesystem;

const char *const kLibraryPath = "bin/linux64/driver_vantrels.so";
const char *const kInstallHint = "scripts/install from the release, or copy its vantrels folder and register it";

namespace {

const char *const kFlatpakSteam = ".var/app/com.valvesoftware.Steam";

fs::path Home() {
  return fs::path(EnvironmentVariable("HOME"));
}

bool Exists(const fs::path &path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char **argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::string EnvironmentVariable(const char *name) {
  const char *value = std::getenv(name);
  return value != nullptr ? value : "";
}

fs::path OpenVrPathsFile() {
  // The override names the file itself (or a folder that holds it).
  const std::string override = EnvironmentVariable("VR_PATHREG_OVERRIDE");
  if (!override.empty()) {
    std::error_code ec;
    return fs::is_directory(override, ec) ? fs::path(override) / "openvrpaths.vrpath" : fs::path(override);
  }
  const std::string xdg = EnvironmentVariable("XDG_CONFIG_HOME");
  const fs::path config = !xdg.empty() ? fs::path(xdg) : Home() / ".config";
  const fs::path file = config / "openvr" / "openvrpaths.vrpath";
  // Flatpak's Steam keeps its own.
  const fs::path flatpak = Home() / kFlatpakSteam / "config" / "openvr" / "openvrpaths.vrpath";
  return !Exists(file) && Exists(flatpak) ? flatpak : file;
}

std::vector<fs::path> UsualSteamVrFolders() {
  std::vector<fs::path> folders;
  for (const fs::path &root : {Home() / ".steam" / "steam", Home() / ".local" / "share" / "Steam",
                               Home() / kFlatpakSteam / ".local" / "share" / "Steam"}) {
    std::vector<fs::path> libraries{root};
    std::string vdf, error;
    if (ReadTextFile(root / "steamapps" / "libraryfolders.vdf", vdf, error)) {
      for (const std::string &library : SteamLibraryFolders(vdf)) libraries.push_back(library);
    }
    for (const fs::path &library : libraries) folders.push_back(library / "steamapps" / "common" / "SteamVR");
  }
  return folders;
}

std::string VrPathRegCommand(const fs::path &steamVr) {
  return steamVr.empty() ? "<SteamVR>/bin/vrpathreg.sh" : Quoted(steamVr / "bin" / "vrpathreg.sh");
}

std::string SystemGlibcVersion() {
  return gnu_get_libc_version();
}

}  // namespace vantrels::doctor
