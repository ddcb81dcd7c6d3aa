#pragma once

// The nine checks. Each takes what was found about the system (files read, processes asked) and
// returns its line of the report; doctor.cpp gathers the facts and runs them in order.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "check_result.h"
#include "elf_versions.h"
#include "platform.h"
#include "steamvr_files.h"

namespace vantrels::doctor {

inline constexpr uint16_t kDefaultPort = 21110;

// What to do about a damaged openvrpaths.vrpath.
std::string RepairRegistryFix(const std::filesystem::path &file);

// steamvr: the folder given with --steamvr, else openvrpaths.vrpath's runtime, else the first of
// the usual places that exists. `found` is set when SteamVR is there.
CheckResult CheckSteamVr(const std::optional<std::filesystem::path> &given, const OpenVrPaths &paths,
                         const std::vector<std::filesystem::path> &usual, std::filesystem::path &found);

// registered: the driver folder in external_drivers exactly once. `folder` is the one to check
// further: the one given with --driver, else the registered one.
CheckResult CheckRegistered(const OpenVrPaths &paths, const std::optional<std::filesystem::path> &given,
                            const std::string &vrpathreg, std::optional<std::filesystem::path> &folder);

// folder: manifest, name, library and default settings. Sets `library` when the library is there
// and `defaults` to the folder's default.vrsettings.
CheckResult CheckFolder(const std::optional<std::filesystem::path> &folder, const std::string &vrpathreg,
                        std::optional<std::filesystem::path> &library, DriverSettings &defaults);

// library: what loading it in a process of its own gave. `systemGlibc` is empty where the C
// library is not glibc; `needs` are the library's version needs.
CheckResult CheckLibrary(const std::optional<std::filesystem::path> &library, const ProbeResult &probe,
                         const std::string &systemGlibc, const std::vector<VersionNeed> &needs);

// model: the driver's own check's answer ("" passes) for the folder.
CheckResult CheckModel(const std::optional<std::filesystem::path> &folder, const std::string &reason);

// enabled: steamvr.vrsettings neither switches the driver off nor has it blocked.
CheckResult CheckEnabled(const DriverSettings &user);

// The port the driver listens on, and where that came from.
struct PortChoice {
  uint16_t port = kDefaultPort;
  std::string source;
  std::string problem;  // a port setting the driver ignores
  std::filesystem::path problemFile;
};
PortChoice ChoosePort(const std::optional<uint16_t> &given, const DriverSettings &user, const DriverSettings &defaults);

enum class PortState { Free, SteamVr, Taken, Unknown };
// port: who holds it. `settingsFile` is where the player would set another port.
CheckResult CheckPort(const PortChoice &choice, const PortHolders &holders, const std::filesystem::path &settingsFile,
                      PortState &state);

// What arrived while the doctor listened on the driver's port, counted as it arrived (a flood
// must not fill the memory).
struct Traffic {
  size_t datagrams = 0, accepted = 0, records = 0, invalid = 0, untracked = 0;
  std::map<int, size_t> versions;
  std::map<std::string, size_t> rejections;  // why the driver would drop them
  std::set<size_t> points;                   // body point indices seen
  std::set<std::string> senders;             // "127.0.0.1:50123", the first few
};
// Reads one datagram with the driver's own parser.
void CountDatagram(Traffic &traffic, const uint8_t *data, size_t size, const std::string &sender);

struct Listening {
  std::string error;  // the port could not be bound
  double seconds = 0;
  Traffic traffic;
};
// server: what a tracking server sends, summarised.
CheckResult CheckServer(uint16_t port, PortState state, const Listening &listening);

// log: vrserver.txt in the log folder (`logFolder` empty: not known). `text` is the file's content
// when it could be read, `readError` the reason when not.
struct ServerLog {
  std::filesystem::path folder;
  std::string folderSource;  // where the folder's place came from
  std::string text;
  std::string readError;
};
CheckResult CheckLog(const ServerLog &log);

}  // namespace vantrels::doctor
