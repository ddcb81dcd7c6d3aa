#include <CLI/CLI.hpp>
#include <cmath>

#include "doctor.h"
#include "files.h"

namespace vantrels::doctor {

std::optional<int> ParseDoctorOptions(const std::vector<std::string> &arguments, DoctorOptions &options) {
  CLI::App app{
      "vantrels-doctor: finds out why no Vantrels tracker appears in SteamVR. It checks SteamVR, the driver's\n"
      "registration and folder, whether the library loads, its render model, SteamVR's settings, the UDP port,\n"
      "a tracking server sending to it and SteamVR's log. It only reads files and listens; it changes nothing.\n"
      "Exit status: 0 every check passed, 1 a check failed, 2 bad arguments.",
      "vantrels-doctor"};
  std::string steamVr, driver;
  int port = 0;
  app.add_option("--steamvr", steamVr, "The SteamVR folder, instead of looking for it");
  app.add_option("--driver", driver, "Check this driver folder (registered or not) instead of the registered one");
  app.add_option("--port", port, "The driver's UDP port, instead of the one its settings give (1-65535)");
  app.add_option("--listen", options.listenSeconds, "Seconds to listen for a tracking server (default 3)");
  app.add_flag("--json", options.json, "Print one JSON object instead of the report");
  std::vector<const char *> argv;
  for (const std::string &a : arguments) argv.push_back(a.c_str());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::CallForHelp &e) {
    return app.exit(e);
  } catch (const CLI::ParseError &e) {
    app.exit(e);
    return 2;
  }
  auto fail = [](const std::string &message) {
    std::fprintf(stderr, "vantrels-doctor: %s\n", message.c_str());
    return 2;
  };
  if (app.count("--port") > 0) {
    if (port < 1 || port > 65535) return fail("--port must be 1 to 65535");
    options.port = static_cast<uint16_t>(port);
  }
  if (!(options.listenSeconds > 0) || options.listenSeconds > 600 || !std::isfinite(options.listenSeconds)) {
    return fail("--listen must be above 0 and at most 600 seconds");
  }
  // Absolute, as SteamVR's files name folders, so that the two can be compared.
  auto folder = [](const std::string &text) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(PathFromUtf8(text), ec);
    return ec ? PathFromUtf8(text) : absolute;
  };
  if (app.count("--steamvr") > 0) {
    if (steamVr.empty()) return fail("--steamvr needs a folder");
    options.steamVr = folder(steamVr);
  }
  if (app.count("--driver") > 0) {
    if (driver.empty()) return fail("--driver needs a folder");
    options.driver = folder(driver);
  }
  return std::nullopt;
}

}  // namespace vantrels::doctor
