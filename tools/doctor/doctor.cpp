// The order of the checks and the facts each one needs, gathered from files, processes and sockets.
#include "doctor.h"

#include <chrono>
#include <cstring>
#include <exception>
#include <functional>
#include <thread>

#include "checks.h"
#include "files.h"
#include "link/udp_endpoint.h"
#include "platform.h"
#include "rendermodel/render_model_check.h"

namespace vantrels::doctor {

namespace fs = std::filesystem;

namespace {

constexpr std::chrono::milliseconds kLoadTimeout{10000};

// The first folder of a list of openvrpaths.vrpath, else Steam's own `sub` folder.
fs::path Located(const FolderList &list, const fs::path &steamVr, const char *sub, std::string &source) {
  if (!list.entries.empty()) {
    source = "from openvrpaths.vrpath";
    return PathFromUtf8(list.entries.front());
  }
  const fs::path steam = steamVr.empty() ? fs::path() : SteamRootOf(steamVr);
  if (steam.empty()) return {};
  source = "Steam's own";
  return steam / sub;
}

// Everything that arrives on 127.0.0.1:port in the time given, with the driver's own socket.
Listening Listen(uint16_t port, double seconds) {
  Listening listening;
  listening.seconds = seconds;
  UdpEndpoint endpoint;
  if (!endpoint.Open(port)) {
    listening.error = "the port is in use or can't be opened";
    return listening;
  }
  std::vector<uint8_t> buffer(65536);
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    const int32_t n = endpoint.Receive(buffer.data(), static_cast<int32_t>(buffer.size()));
    if (n < 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    uint8_t address[4], peerPort[2];
    std::memcpy(address, &endpoint.peerAddress, sizeof address);  // both in network byte order
    std::memcpy(peerPort, &endpoint.peerPort, sizeof peerPort);
    std::string sender;
    for (int i = 0; i < 4; ++i) sender += std::to_string(address[i]) + (i < 3 ? "." : ":");
    sender += std::to_string(peerPort[0] << 8 | peerPort[1]);
    CountDatagram(listening.traffic, buffer.data(), static_cast<size_t>(n), sender);
  }
  return listening;
}

std::vector<VersionNeed> LibraryVersionNeeds(const fs::path &library) {
  std::string bytes, error;
  return ReadTextFile(library, bytes, error) ? ReadVersionNeeds(bytes) : std::vector<VersionNeed>{};
}

// A check that throws (out of memory, a file system that misbehaves) still gets its line.
CheckResult Guarded(const char *id, const std::function<CheckResult()> &check) {
  try {
    return check();
  } catch (const std::exception &e) {
    return Fail(id, std::string("The check broke down: ") + e.what(),
                "Run the doctor again; if it repeats, report it with this output.");
  } catch (...) {
    return Fail(id, "The check broke down", "Run the doctor again; if it repeats, report it with this output.");
  }
}

}  // namespace

std::vector<CheckResult> RunDoctor(const DoctorOptions &options) {
  std::vector<CheckResult> checks;
  OpenVrPaths paths;
  fs::path steamVr;
  std::optional<fs::path> folder, library;
  DriverSettings defaults, user;
  PortChoice choice;
  PortState state = PortState::Unknown;

  checks.push_back(Guarded("steamvr", [&] {
    paths = ReadOpenVrPaths(OpenVrPathsFile());
    return CheckSteamVr(options.steamVr, paths, UsualSteamVrFolders(), steamVr);
  }));
  const std::string vrpathreg = VrPathRegCommand(steamVr);
  checks.push_back(Guarded("registered", [&] { return CheckRegistered(paths, options.driver, vrpathreg, folder); }));
  checks.push_back(Guarded("folder", [&] { return CheckFolder(folder, vrpathreg, library, defaults); }));
  checks.push_back(Guarded("library", [&] {
    if (!library) return CheckLibrary(library, {}, "", {});
    const ProbeResult probe = ProbeLibrary(*library, kLoadTimeout);
    const bool failed = probe.outcome != ProbeResult::Outcome::Provider;
    return CheckLibrary(library, probe, SystemGlibcVersion(),
                        failed ? LibraryVersionNeeds(*library) : std::vector<VersionNeed>{});
  }));
  checks.push_back(Guarded("model", [&] { return CheckModel(folder, folder ? CheckRenderModel(Utf8(*folder)) : ""); }));
  checks.push_back(Guarded("enabled", [&] {
    if (!paths.config.error.empty()) return Fail("enabled", paths.config.error, RepairRegistryFix(paths.file));
    std::string source;
    const fs::path config = Located(paths.config, steamVr, "config", source);
    if (!config.empty()) user = ReadDriverSettings(config / "steamvr.vrsettings");
    return CheckEnabled(user);
  }));
  checks.push_back(Guarded("port", [&] {
    choice = ChoosePort(options.port, user, defaults);
    return CheckPort(choice, FindPortHolders(choice.port), user.file, state);
  }));
  checks.push_back(Guarded("server", [&] {
    Listening listening;
    if (state == PortState::Free || state == PortState::Unknown) listening = Listen(choice.port, options.listenSeconds);
    return CheckServer(choice.port, state, listening);
  }));
  checks.push_back(Guarded("log", [&] {
    if (!paths.log.error.empty()) return Fail("log", paths.log.error, RepairRegistryFix(paths.file));
    ServerLog log;
    log.folder = Located(paths.log, steamVr, "logs", log.folderSource);
    if (!log.folder.empty()) ReadTextFile(log.folder / "vrserver.txt", log.text, log.readError);
    return CheckLog(log);
  }));
  return checks;
}

int ExitStatus(const std::vector<CheckResult> &checks) {
  for (const CheckResult &c : checks)
    if (c.ok == false) return 1;
  return 0;
}

}  // namespace vantrels::doctor
