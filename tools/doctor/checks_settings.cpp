// enabled and port: what steamvr.vrsettings says about the driver, and who holds its port.
#include <cmath>

#include "checks.h"
#include "files.h"

namespace vantrels::doctor {

namespace fs = std::filesystem;

namespace {

std::string InSection(const char *key, const fs::path &file) {
  return std::string("\"") + key + "\" in the \"driver_vantrels\" section of " + Quoted(file);
}

// A port number as the driver takes it: a whole number from 1 to 65535.
std::optional<uint16_t> PortValue(const nlohmann::json &value) {
  double number = 0;
  if (value.is_number_integer()) {
    const int64_t n = value.get<int64_t>();
    if (n < 1 || n > 65535) return std::nullopt;
    return static_cast<uint16_t>(n);
  }
  if (!value.is_number_float()) return std::nullopt;
  number = value.get<double>();
  if (!(number >= 1 && number <= 65535) || std::floor(number) != number) return std::nullopt;
  return static_cast<uint16_t>(number);
}

std::string Holder(const PortHolder &h) {
  return h.name + " (pid " + std::to_string(h.pid) + (h.path.empty() ? "" : ", " + h.path) + ")";
}

bool IsSteamVrServer(const PortHolder &h) {
  std::string name = h.name;
  for (char &c : name) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return name == "vrserver" || name == "vrserver.exe";
}

}  // namespace

CheckResult CheckEnabled(const DriverSettings &user) {
  const std::string id = "enabled";
  if (!user.located) return Note(id, "SteamVR's settings file steamvr.vrsettings was not found (see steamvr)");
  const std::string file = Quoted(user.file);
  if (!user.exists) return Pass(id, "No " + file + " yet, so nothing switches the driver off");
  if (!user.error.empty()) {
    return Fail(id, user.error,
                "Close SteamVR, then repair " + file +
                    " (it is JSON), or rename it: SteamVR then starts with its "
                    "default settings.");
  }
  std::vector<std::string> problems, fixes;
  const nlohmann::json &section = user.section;
  const auto enable = section.is_object() ? section.find("enable") : section.end();
  if (enable != section.end() && !enable->is_null() && *enable != true) {
    if (*enable == false) {
      problems.push_back(InSection("enable", user.file) + " is false: the driver is switched off");
      fixes.push_back(
          "Switch Vantrels on in SteamVR Settings > Startup/Shutdown > Manage Add-ons, or, with SteamVR closed, "
          "remove \"enable\": false from the \"driver_vantrels\" section of " +
          file + ".");
    } else {
      problems.push_back(InSection("enable", user.file) + " is " + JsonKind(*enable) + ", not true or false");
      fixes.push_back("With SteamVR closed, remove \"enable\" from the \"driver_vantrels\" section of " + file + ".");
    }
  }
  const auto blocked = section.is_object() ? section.find("blocked_by_safe_mode") : section.end();
  if (blocked != section.end() && !blocked->is_null() && *blocked != false) {
    problems.push_back(*blocked == true ? "SteamVR's safe mode blocked the driver after a crash (" +
                                              InSection("blocked_by_safe_mode", user.file) + " is true)"
                                        : InSection("blocked_by_safe_mode", user.file) + " is " + JsonKind(*blocked) +
                                              ", not true or false");
    fixes.push_back(
        "Switch Vantrels back on in SteamVR Settings > Startup/Shutdown > Manage Add-ons, or, with SteamVR closed, "
        "remove \"blocked_by_safe_mode\" from the \"driver_vantrels\" section of " +
        file + ".");
  }
  if (problems.empty()) return Pass(id, file + " neither switches the driver off nor blocks it");
  std::string summary = problems[0], fix = fixes[0];
  if (problems.size() > 1) {
    summary += "; " + problems[1];
    fix += " " + fixes[1];
  }
  return Fail(id, summary, fix);
}

PortChoice ChoosePort(const std::optional<uint16_t> &given, const DriverSettings &user,
                      const DriverSettings &defaults) {
  PortChoice choice;
  if (given) {
    choice.port = *given;
    choice.source = "--port";
    return choice;
  }
  // Like the driver: steamvr.vrsettings first, then the driver folder's defaults.
  for (const DriverSettings *settings : {&user, &defaults}) {
    if (!settings->section.is_object()) continue;
    const auto port = settings->section.find("port");
    if (port == settings->section.end() || port->is_null()) continue;
    if (const std::optional<uint16_t> value = PortValue(*port)) {
      choice.port = *value;
      choice.source = Quoted(settings->file);
      return choice;
    }
    if (choice.problem.empty()) {
      choice.problem = InSection("port", settings->file) + " is " + JsonKind(*port) +
                       ", not a port number from 1 to 65535, so the driver ignores it";
      choice.problemFile = settings->file;
    }
  }
  choice.source = "the driver's default";
  return choice;
}

CheckResult CheckPort(const PortChoice &choice, const PortHolders &holders, const fs::path &settingsFile,
                      PortState &state) {
  const std::string id = "port";
  const std::string port = "UDP port " + std::to_string(choice.port) + " on 127.0.0.1 (from " + choice.source + ")";
  const std::string settings = settingsFile.empty() ? "steamvr.vrsettings" : Quoted(settingsFile);
  const std::string move =
      "or move the driver to a free port: with SteamVR closed, set \"port\" in the \"driver_vantrels\" section of " +
      settings + " and send the tracking server there. A tracking server sends to this port; it must not listen on it.";
  CheckResult result;
  std::vector<const PortHolder *> others;
  const PortHolder *server = nullptr;
  for (const PortHolder &h : holders.holders) {
    if (IsSteamVrServer(h)) {
      server = &h;
    } else {
      others.push_back(&h);
    }
  }
  if (!holders.error.empty()) {
    state = PortState::Unknown;
    result = Note(id, "Can't tell who holds " + port + ": " + holders.error);
  } else if (server != nullptr) {
    state = PortState::SteamVr;
    result = Pass(id, port + " is held by SteamVR's server, " + Holder(*server) + ": the driver is running there");
  } else if (!others.empty()) {
    state = PortState::Taken;
    std::string names;
    for (const PortHolder *h : others) names += (names.empty() ? "" : " and ") + Holder(*h);
    result = Fail(
        id, port + " is held by " + names + ", so the driver can't listen there",
        "Close " + others[0]->name + " (pid " + std::to_string(others[0]->pid) + ") before SteamVR starts, " + move);
  } else if (holders.unidentified > 0) {
    state = PortState::Taken;
    result = Fail(id, port + " is held by a program whose process can't be seen from here (another user's?)",
                  "Find it with the system's tools (Linux: sudo ss -ulpn; Windows: netstat -abno -p UDP as "
                  "administrator) and close it, " +
                      move);
  } else {
    state = PortState::Free;
    result = Pass(id, port + " is free (nothing listens there now, so SteamVR's driver is not running)");
  }
  if (choice.problem.empty()) return result;
  return Fail(
      id, choice.problem + "; " + result.summary,
      "With SteamVR closed, set \"port\" to a whole number from 1 to 65535 in the \"driver_vantrels\" section of " +
          Quoted(choice.problemFile) + ", or remove it (the driver then uses 21110)." +
          (result.fix.empty() ? "" : " " + result.fix));
}

}  // namespace vantrels::doctor
