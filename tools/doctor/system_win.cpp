// Windows: where SteamVR and its files are (the registry, %LOCALAPPDATA%), and a console that
// shows UTF-8.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <cwchar>

#include "files.h"
#include "platform.h"

namespace vantrels::doctor {

namespace fs = std::filesystem;

const char *const kLibraryPath = "bin/win64/driver_vantrels.dll";
const char *const kInstallHint = "run the Vantrels setup (vantrels-<version>-setup.exe) again";

namespace {

const wchar_t *const kSteamVrUninstallKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Steam App 250820";

std::string FromWide(const std::wstring &text) {
  return Utf8(fs::path(text));
}

// A text value of the registry in the view given, or "".
std::wstring RegistryText(HKEY root, const wchar_t *key, const wchar_t *name, REGSAM view) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) return L"";
  DWORD type = 0, size = 0;
  std::wstring text;
  if (RegQueryValueExW(opened, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
    text.assign(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(opened, name, nullptr, nullptr, reinterpret_cast<BYTE *>(text.data()), &size) !=
        ERROR_SUCCESS) {
      text.clear();
    }
    text.resize(std::wcslen(text.c_str()));
  }
  RegCloseKey(opened);
  return text;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char **argv) {
  SetConsoleOutputCP(CP_UTF8);
  int count = 0;
  LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(FromWide(wide[i]));
  LocalFree(wide);
  return arguments;
}

std::string EnvironmentVariable(const char *name) {
  const std::wstring wideName = fs::path(name).wstring();
  const wchar_t *value = _wgetenv(wideName.c_str());
  return value != nullptr ? FromWide(value) : "";
}

fs::path OpenVrPathsFile() {
  const std::string override = EnvironmentVariable("VR_PATHREG_OVERRIDE");
  if (!override.empty()) {
    std::error_code ec;
    const fs::path given = PathFromUtf8(override);
    return fs::is_directory(given, ec) ? given / "openvrpaths.vrpath" : given;
  }
  std::string local = EnvironmentVariable("LOCALAPPDATA");
  const fs::path folder =
      !local.empty() ? PathFromUtf8(local) : PathFromUtf8(EnvironmentVariable("USERPROFILE")) / "AppData" / "Local";
  return folder / "openvr" / "openvrpaths.vrpath";
}

std::vector<fs::path> UsualSteamVrFolders() {
  std::vector<fs::path> folders;
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    const std::wstring location = RegistryText(HKEY_LOCAL_MACHINE, kSteamVrUninstallKey, L"InstallLocation", view);
    if (!location.empty()) folders.emplace_back(location);
  }
  const std::wstring steam = RegistryText(HKEY_CURRENT_USER, L"Software\\Valve\\Steam", L"SteamPath", 0);
  if (!steam.empty()) folders.push_back(fs::path(steam) / "steamapps" / "common" / "SteamVR");
  std::string programs = EnvironmentVariable("ProgramFiles(x86)");
  if (programs.empty()) programs = "C:\\Program Files (x86)";
  folders.push_back(PathFromUtf8(programs) / "Steam" / "steamapps" / "common" / "SteamVR");
  return folders;
}

std::string VrPathRegCommand(const fs::path &steamVr) {
  return steamVr.empty() ? "<SteamVR>\\bin\\win64\\vrpathreg.exe" : Quoted(steamVr / "bin" / "win64" / "vrpathreg.exe");
}

std::string SystemGlibcVersion() {
  return "";
}

}  // namespace vantrels::doctor
