// vantrels-host: runs a driver folder outside the VR server. Loads the driver, gives it the
// substitute host, runs frames in real time and shuts it down the way the server does.
//
// Exit codes: 0 success; 1 the driver could not be loaded or initialised, or the view could not
// start; 2 bad arguments.
#include <CLI/CLI.hpp>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "host/executable_folder.h"
#include "host/loaded_driver.h"
#include "host/status_view.h"
#include "host/substitute_host.h"
#include "host/view_server.h"

namespace {

using vantrels::host::HostOptions;
using vantrels::host::LoadedDriver;
using vantrels::host::StatusView;
using vantrels::host::SubstituteHost;
using vantrels::host::ViewModel;
using vantrels::host::ViewServer;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

std::atomic<bool> g_stop{false};

extern "C" void OnSignal(int) {
  g_stop = true;
}

int Fail(int code, const std::string &message) {
  std::cerr << "vantrels-host: " << message << std::endl;
  return code;
}

struct Arguments {
  std::string driver;
  double rate = 90.0;
  double seconds = 0.0;
  uint64_t frames = 0;
  std::vector<std::string> sets;
  std::string refuse = "none";
  std::string activate = "sync";
  std::string headset = "still";
  uint32_t controllers = 0;
  std::string record;
  bool status = false;
  bool quiet = false;
  std::string view;
};

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

int main(int argc, char **argv) {
  Arguments args;
  CLI::App app{"Runs a Vantrels driver folder inside a substitute VR server host."};
  app.add_option("--driver", args.driver, "driver folder (holding driver.vrdrivermanifest)")->required();
  app.add_option("--rate", args.rate, "frames per second (default 90)");
  auto *secondsOption = app.add_option("--seconds", args.seconds, "run this many seconds (default 5)");
  auto *framesOption = app.add_option("--frames", args.frames, "run this many frames");
  secondsOption->excludes(framesOption);
  app.add_option("--set", args.sets, "setting override section.key=value (repeatable)");
  app.add_option("--refuse", args.refuse, "refuse announcements: none, all or first:N");
  app.add_option("--activate", args.activate, "activate devices: sync, deferred or never");
  app.add_option("--headset", args.headset, "simulated headset: still, moving or off");
  app.add_option("--controllers", args.controllers, "simulated controllers (0 to 63)");
  app.add_option("--record", args.record, "write every call as JSON Lines to this file");
  app.add_flag("--status", args.status, "print a device table once per second");
  app.add_flag("--quiet", args.quiet, "do not print driver log lines and progress lines");
  auto *viewOption =
      app.add_option("--view", args.view,
                     "serve a live 3D view of the devices on http://127.0.0.1:PORT/ (default port 21180, 0 picks a "
                     "free one); without --seconds or --frames the host then runs until stopped")
          ->expected(0, 1)
          ->type_name("[PORT]");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp &e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp &e) {
    return app.exit(e);
  } catch (const CLI::ParseError &e) {
    return Fail(kExitUsage, e.what());
  }

  // ---- everything about the arguments is checked before the driver is touched ----
  HostOptions options;
  std::string error;
  if (!vantrels::host::ParseRefusePolicy(args.refuse, options, error) ||
      !vantrels::host::ParseActivationMode(args.activate, options, error) ||
      !vantrels::host::ParseHeadsetMode(args.headset, options, error)) {
    return Fail(kExitUsage, error);
  }
  if (!(args.rate > 0.0) || !std::isfinite(args.rate)) return Fail(kExitUsage, "--rate must be a positive number");
  if (!(args.seconds >= 0.0) || !std::isfinite(args.seconds)) {
    return Fail(kExitUsage, "--seconds must be a non-negative number");
  }
  if (args.controllers > vantrels::host::kMaxControllers) {
    return Fail(kExitUsage, "--controllers must be at most " + std::to_string(vantrels::host::kMaxControllers));
  }
  options.controllers = args.controllers;
  options.recordPath = args.record;
  options.echoLog = !args.quiet;
  const bool view = viewOption->count() > 0;
  uint16_t viewPort = vantrels::host::kDefaultViewPort;
  if (view && !args.view.empty()) {
    const char *end = args.view.data() + args.view.size();
    auto [ptr, ec] = std::from_chars(args.view.data(), end, viewPort);
    if (ec != std::errc() || ptr != end) return Fail(kExitUsage, "--view expects a port from 0 to 65535");
  }
  uint64_t frames = args.frames;
  if (view && framesOption->count() == 0 && secondsOption->count() == 0) {
    frames = std::numeric_limits<uint64_t>::max();
  } else if (framesOption->count() == 0) {
    const double seconds = secondsOption->count() > 0 ? args.seconds : 5.0;
    const double total = std::round(seconds * args.rate);
    if (total > 1e12) return Fail(kExitUsage, "--seconds times --rate is too many frames");
    frames = static_cast<uint64_t>(total);
  }

  SubstituteHost host(options);
  for (const std::string &set : args.sets) {
    if (!host.ApplySetOption(set, error)) return Fail(kExitUsage, error);
  }
  if (!host.RecordOpen(error)) return Fail(kExitFailure, error);

  // ---- the view, before the driver is touched: a taken port is the user's to fix ----
  std::unique_ptr<ViewServer> viewServer;
  if (view) {
    const std::filesystem::path folder = vantrels::host::ExecutableFolder() / "view";
    vantrels::host::ViewAssets assets;
    if (!vantrels::host::LoadViewAssets(folder, assets, error)) return Fail(kExitFailure, error);
    viewServer = ViewServer::Start(viewPort, std::move(assets), error);
    if (!viewServer) return Fail(kExitFailure, error);
    std::cout << "vantrels-host: view at " << viewServer->Url() << std::endl;
  }

  // ---- load ----
  std::unique_ptr<LoadedDriver> driver = LoadedDriver::Load(args.driver, error);
  if (!driver) return Fail(kExitFailure, error);
  for (const std::string &warning : driver->Warnings()) std::cerr << "vantrels-host: warning: " << warning << '\n';
  const std::filesystem::path defaults = driver->Folder() / "resources" / "settings" / "default.vrsettings";
  if (std::filesystem::exists(defaults)) {
    if (!host.LoadDefaultSettings(defaults, error)) {
      std::cerr << "vantrels-host: warning: " << error << '\n';
    }
    // Command line overrides win over the driver's defaults.
    for (const std::string &set : args.sets) host.ApplySetOption(set, error);
  }
  if (!args.quiet) std::cout << "vantrels-host: loaded " << driver->LibraryPath().string() << std::endl;

  vr::IServerTrackedDeviceProvider *provider = host.CallProvider(*driver, error);
  if (provider == nullptr) return Fail(kExitFailure, error);

  const std::vector<std::string> versions = host.CallGetInterfaceVersions(provider);
  if (!args.quiet) {
    std::cout << "vantrels-host: interface versions:";
    for (const std::string &v : versions) std::cout << ' ' << v;
    std::cout << std::endl;
  }
  for (const char *needed : {vr::ITrackedDeviceServerDriver_Version, vr::IServerTrackedDeviceProvider_Version}) {
    if (std::find(versions.begin(), versions.end(), needed) == versions.end()) {
      std::cerr << "vantrels-host: warning: the driver does not list " << needed << '\n';
    }
  }

  const vr::EVRInitError initResult = host.CallInit(provider);
  if (!args.quiet) std::cout << "vantrels-host: Init returned " << static_cast<int>(initResult) << std::endl;
  if (initResult != vr::VRInitError_None) {
    // The server unloads a driver whose Init failed, without Cleanup.
    driver.reset();
    return Fail(kExitFailure, "Init failed with error " + std::to_string(static_cast<int>(initResult)));
  }

  // ---- frames in real time ----
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  StatusView status;
  ViewModel viewModel;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  Clock::time_point lastStatus = start;
  int64_t longestFrameUs = 0;
  uint64_t framesRun = 0;
  for (uint64_t k = 0; k < frames && !g_stop; ++k) {
    const double simSeconds = static_cast<double>(k) / args.rate;
    std::this_thread::sleep_until(
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(simSeconds)));
    host.BeginFrame(simSeconds);
    const Clock::time_point before = Clock::now();
    host.CallRunFrame(provider);
    const Clock::time_point after = Clock::now();
    longestFrameUs = std::max<int64_t>(longestFrameUs,
                                       std::chrono::duration_cast<std::chrono::microseconds>(after - before).count());
    ++framesRun;
    if (viewServer) {
      viewServer->Publish(std::make_shared<const vantrels::host::ViewSnapshot>(viewModel.Snapshot(host, NowNs())));
    }
    if (after - lastStatus >= std::chrono::seconds(1)) {
      if (args.status) {
        std::cout << status.Render(host, std::chrono::duration<double>(after - lastStatus).count()) << std::flush;
      }
      lastStatus = after;
      // Everything that reads the pose updates has taken them in: a long run must not pile them up.
      host.ForgetFrameHistory();
    }
  }
  viewServer.reset();

  // ---- shutdown as the server does it: Deactivate, Cleanup, unload ----
  host.DeactivateAll();
  host.CallCleanup(provider);
  provider = nullptr;
  driver.reset();

  size_t accepted = 0;
  for (const auto &a : host.Announcements()) accepted += a.accepted ? 1 : 0;
  const size_t announced = host.Announcements().size();
  std::cout << "vantrels-host: " << framesRun << " frames, " << announced << " devices announced (" << accepted
            << " accepted, " << announced - accepted << " refused), "
            << host.PoseUpdatesForgotten() + host.PoseUpdates().size() << " pose updates, " << host.LogLines().size()
            << " log lines, longest RunFrame " << longestFrameUs << " us" << std::endl;
  return 0;
}
