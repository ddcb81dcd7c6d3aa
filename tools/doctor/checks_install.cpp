// steamvr, registered and folder: where SteamVR and the driver folder are, and what the folder holds.
#include <algorithm>
#include <system_error>

#include "checks.h"
#include "files.h"

namespace vantrels::doctor {

namespace fs = std::filesystem;

namespace {

constexpr const char *kDriverName = "vantrels";

bool IsFolder(const fs::path &path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

std::string Join(const std::vector<std::string> &parts, const std::string &separator) {
  std::string text;
  for (const std::string &part : parts) text += (text.empty() ? "" : separator) + part;
  return text;
}

// The folder's own name, also when the path ends with a separator.
std::string FolderName(const fs::path &folder) {
  fs::path normal = folder.lexically_normal();
  if (!normal.has_filename()) normal = normal.parent_path();
  return Utf8(normal.filename());
}

// The manifest's "name", or "" when there is none to read.
std::string ManifestName(const fs::path &folder) {
  const JsonFile manifest = ReadJsonFile(folder / "driver.vrdrivermanifest");
  if (!manifest.error.empty() || !manifest.value.is_object()) return "";
  const auto name = manifest.value.find("name");
  return name != manifest.value.end() && name->is_string() ? name->get<std::string>() : "";
}

// A registered folder of this driver: named like it (even when it is gone), or whose manifest
// names it.
bool IsOurs(const fs::path &folder) {
  std::string name = FolderName(folder);
  std::transform(name.begin(), name.end(), name.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return name == kDriverName || ManifestName(folder) == kDriverName;
}

struct Registration {
  fs::path folder;
  int count = 0;
};

}  // namespace

std::string RepairRegistryFix(const fs::path &file) {
  return "Close SteamVR, then repair " + Quoted(file) +
         " or delete it: SteamVR writes a new one when it starts (register the driver again afterwards).";
}

CheckResult CheckSteamVr(const std::optional<fs::path> &given, const OpenVrPaths &paths,
                         const std::vector<fs::path> &usual, fs::path &found) {
  const std::string id = "steamvr";
  const std::string lookHint =
      "Install SteamVR from Steam and start it once (it then records where it is), or give its folder "
      "with --steamvr DIR.";
  if (given) {
    if (!IsFolder(*given)) return Fail(id, Quoted(*given) + " (given with --steamvr) is not a folder", lookHint);
    found = *given;
    return Pass(id, "SteamVR: " + Quoted(found) + " (given with --steamvr)");
  }
  std::vector<std::string> notes, looked;
  std::string where;
  for (const std::string &entry : paths.runtime.entries) {
    const fs::path runtime = PathFromUtf8(entry);
    if (IsFolder(runtime)) {
      found = runtime;
      where = " (the runtime in " + Quoted(paths.file) + ")";
      break;
    }
    notes.push_back("the runtime " + Quoted(runtime) + " in " + Quoted(paths.file) + " is not a folder");
  }
  for (size_t i = 0; found.empty() && i < usual.size(); ++i) {
    if (IsFolder(usual[i])) found = usual[i];
    looked.push_back(Quoted(usual[i]));
  }
  if (!paths.exists) notes.push_back(Quoted(paths.file) + " does not exist");
  const std::string noted = notes.empty() ? "" : " (" + Join(notes, "; ") + ")";
  const std::string summary =
      found.empty() ? "SteamVR not found" + noted + (looked.empty() ? "" : "; looked in " + Join(looked, ", "))
                    : "SteamVR: " + Quoted(found) + where + noted;
  // SteamVR's own path registry, which programs read to find SteamVR, is damaged.
  const std::string damaged = !paths.error.empty() ? paths.error : paths.runtime.error;
  if (!damaged.empty()) return Fail(id, damaged + "; " + summary, RepairRegistryFix(paths.file));
  return found.empty() ? Fail(id, summary, lookHint) : Pass(id, summary);
}

CheckResult CheckRegistered(const OpenVrPaths &paths, const std::optional<fs::path> &given,
                            const std::string &vrpathreg, std::optional<fs::path> &folder) {
  const std::string id = "registered";
  const std::string file = Quoted(paths.file);
  const std::string install = std::string("Install the driver: ") + kInstallHint +
                              " (or register the vantrels folder: " + vrpathreg + " adddriver <folder>).";
  if (given) folder = *given;
  if (!paths.error.empty()) {
    return Fail(id, paths.error + "; the registered drivers can't be read", RepairRegistryFix(paths.file));
  }
  if (!paths.exists) {
    const std::string why = file + " does not exist: SteamVR has not run for this user yet";
    if (given) return Note(id, Quoted(*given) + " (given with --driver) is not registered; " + why);
    return Fail(id, "No driver is registered; " + why, "Start SteamVR once and close it. " + install);
  }
  const nlohmann::json &drivers = paths.externalDrivers;
  if (!drivers.is_null() && !drivers.is_array()) {
    return Fail(id, "\"external_drivers\" in " + file + " is " + JsonKind(drivers) + ", not a list of folders",
                "Close SteamVR and make \"external_drivers\" a list of folders in " + file + ". " + install);
  }
  std::vector<std::string> badEntries;
  std::vector<Registration> ours;
  size_t registered = 0;
  for (size_t i = 0; drivers.is_array() && i < drivers.size(); ++i) {
    if (!drivers[i].is_string()) {
      badEntries.push_back("entry " + std::to_string(i + 1) + " is " + JsonKind(drivers[i]) + ", not a folder");
      continue;
    }
    ++registered;
    const fs::path entry = PathFromUtf8(drivers[i].get<std::string>());
    if (!IsOurs(entry) && !(given && FolderKey(entry) == FolderKey(*given))) continue;
    auto same = std::find_if(ours.begin(), ours.end(),
                             [&](const Registration &r) { return FolderKey(r.folder) == FolderKey(entry); });
    if (same == ours.end()) same = ours.insert(ours.end(), Registration{entry, 0});
    ++same->count;
  }
  if (!badEntries.empty()) {
    if (!folder && !ours.empty()) folder = ours.front().folder;
    return Fail(id, "\"external_drivers\" in " + file + ": " + Join(badEntries, "; "),
                "Close SteamVR and remove those entries from \"external_drivers\" in " + file + ".");
  }
  for (const Registration &r : ours) {
    if (r.count > 1) {
      if (!folder) folder = r.folder;
      return Fail(id, Quoted(r.folder) + " is registered " + std::to_string(r.count) + " times in " + file,
                  "Close SteamVR and keep one line of it in \"external_drivers\" of " + file +
                      ", or run: " + vrpathreg + " removedriver " + Quoted(r.folder) + ", then: " + vrpathreg +
                      " adddriver " + Quoted(r.folder));
    }
  }
  const bool givenIsRegistered = given && std::any_of(ours.begin(), ours.end(), [&](const Registration &r) {
                                   return FolderKey(r.folder) == FolderKey(*given);
                                 });
  if (given && !givenIsRegistered) {
    std::vector<std::string> others;
    for (const Registration &r : ours) others.push_back(Quoted(r.folder));
    return Note(id,
                Quoted(*given) + " (given with --driver) is not registered" +
                    (others.empty() ? "" : "; SteamVR loads " + Join(others, ", ") + " instead"),
                "To have SteamVR load it: " + vrpathreg + " adddriver " + Quoted(*given));
  }
  if (ours.empty()) {
    return Fail(id,
                "No Vantrels driver folder is among the " + std::to_string(registered) +
                    " folders of \"external_drivers\" in " + file,
                install);
  }
  // SteamVR takes the first of several; the others are checked after it is fixed.
  if (!given) {
    folder = ours.front().folder;
    for (const Registration &r : ours) {
      if (IsFolder(r.folder)) {
        folder = r.folder;
        break;
      }
    }
  }
  if (ours.size() > 1) {
    std::vector<std::string> all;
    for (const Registration &r : ours) all.push_back(Quoted(r.folder));
    return Fail(id,
                std::to_string(ours.size()) + " Vantrels driver folders are registered in " + file + ": " +
                    Join(all, ", ") + "; SteamVR loads only one of them",
                "Keep the one you use and unregister the others: " + vrpathreg + " removedriver <folder>");
  }
  std::error_code ec;
  const fs::file_status status = fs::status(*folder, ec);
  if (!fs::exists(status) || !fs::is_directory(status)) {
    return Fail(id,
                Quoted(*folder) + " is registered in " + file + " but " +
                    (fs::exists(status) ? "is not a folder" : "does not exist"),
                "Install the driver again (" + std::string(kInstallHint) + "), or drop the registration: " + vrpathreg +
                    " removedriver " + Quoted(*folder));
  }
  return Pass(id, Quoted(*folder) + " is registered once in " + file);
}

CheckResult CheckFolder(const std::optional<fs::path> &folder, const std::string &vrpathreg,
                        std::optional<fs::path> &library, DriverSettings &defaults) {
  const std::string id = "folder";
  if (!folder) return Note(id, "No driver folder to check (see registered)");
  const std::string where = Quoted(*folder);
  const std::string reinstall =
      std::string("Copy the release's whole vantrels folder again, or install again: ") + kInstallHint + ".";
  if (!IsFolder(*folder)) return Fail(id, where + " is not a folder", reinstall);

  std::vector<std::string> problems, fixes;
  auto problem = [&](std::string what, const std::string &fix) {
    problems.push_back(std::move(what));
    if (std::find(fixes.begin(), fixes.end(), fix) == fixes.end()) fixes.push_back(fix);
  };
  const JsonFile manifest = ReadJsonFile(*folder / "driver.vrdrivermanifest");
  if (!manifest.exists) {
    problem("it has no driver.vrdrivermanifest, so it is not a driver folder",
            "Register the folder that holds driver.vrdrivermanifest (the release's vantrels folder). " + reinstall);
  } else if (!manifest.error.empty()) {
    problem(manifest.error, reinstall);
  } else {
    const auto name = manifest.value.is_object() ? manifest.value.find("name") : manifest.value.end();
    if (name == manifest.value.end() || !name->is_string()) {
      problem("its driver.vrdrivermanifest has no \"name\"", reinstall);
    } else if (name->get<std::string>() != kDriverName) {
      problem("its driver.vrdrivermanifest names the driver \"" + name->get<std::string>() + "\", not vantrels",
              reinstall);
    } else if (FolderName(*folder) != kDriverName) {
      problem("the folder is called \"" + FolderName(*folder) +
                  "\", but SteamVR needs it named as its manifest says, \"vantrels\"",
              "Rename the folder to vantrels and register it under its new name: " + vrpathreg +
                  " removedriver <old folder>, then " + vrpathreg + " adddriver <new folder>.");
    }
    const auto resourceOnly = manifest.value.is_object() ? manifest.value.find("resourceOnly") : manifest.value.end();
    if (resourceOnly != manifest.value.end() && *resourceOnly == true) {
      problem("its manifest says \"resourceOnly\": true, so SteamVR loads no library from it", reinstall);
    }
  }
  std::error_code ec;
  if (fs::is_regular_file(*folder / PathFromUtf8(kLibraryPath), ec)) {
    library = *folder / PathFromUtf8(kLibraryPath);
  } else {
    problem(std::string("it has no ") + kLibraryPath + ", the library for this system", reinstall);
  }
  defaults = ReadDriverSettings(*folder / "resources" / "settings" / "default.vrsettings");
  if (!defaults.exists) {
    problem("it has no resources/settings/default.vrsettings", reinstall);
  } else if (!defaults.error.empty()) {
    problem(defaults.error, reinstall);
  }
  if (!problems.empty()) return Fail(id, where + ": " + Join(problems, "; "), Join(fixes, " "));
  return Pass(id, where + " holds driver.vrdrivermanifest (name vantrels), " + kLibraryPath +
                      " and resources/settings/default.vrsettings");
}

}  // namespace vantrels::doctor
