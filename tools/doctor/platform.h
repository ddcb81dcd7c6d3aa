#pragma once

// What the doctor asks of the operating system. One implementation per platform: system_*.cpp,
// library_probe_*.cpp and port_holders_*.cpp.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vantrels::doctor {

// The driver library below the driver folder, as SteamVR looks for it on this system.
extern const char *const kLibraryPath;
// How a player installs the driver on this system, for the fixes.
extern const char *const kInstallHint;

// The command line's arguments as UTF-8, the program's name first, and a console that shows UTF-8.
std::vector<std::string> Utf8Arguments(int argc, char **argv);
// An environment variable as UTF-8; "" when it is not set.
std::string EnvironmentVariable(const char *name);
// Where SteamVR keeps openvrpaths.vrpath for this user.
std::filesystem::path OpenVrPathsFile();
// The places SteamVR is installed in when nothing says otherwise, in the order they are tried.
std::vector<std::filesystem::path> UsualSteamVrFolders();
// SteamVR's vrpathreg as a command to type, for the SteamVR folder given (empty: not known).
std::string VrPathRegCommand(const std::filesystem::path &steamVr);
// The C library's version ("2.36") where it is glibc, else "".
std::string SystemGlibcVersion();

// Loading the driver library in a process of its own, so that a crash there is only reported.
struct ProbeResult {
  enum class Outcome { Provider, NoProvider, NoFactory, LoadFailed, Crashed, TimedOut, NotStarted };
  Outcome outcome = Outcome::NotStarted;
  std::string detail;  // the loader's reason, the factory's error code, how the process ended
  std::string stage;   // for a crash or a time-out: what the library was doing
};
ProbeResult ProbeLibrary(const std::filesystem::path &library, std::chrono::milliseconds timeout);
// The other side: runs in the child started with --probe-library, reports on standard output.
int RunLibraryProbe(const std::filesystem::path &library);

// The programs that hold a UDP port where the driver would bind 127.0.0.1.
struct PortHolder {
  uint32_t pid = 0;
  std::string name;  // program name
  std::string path;  // its file, when known
};
struct PortHolders {
  std::vector<PortHolder> holders;
  size_t unidentified = 0;  // sockets on the port whose process could not be found
  std::string error;        // the system's tables could not be read
};
PortHolders FindPortHolders(uint16_t port);

}  // namespace vantrels::doctor
