// log: what SteamVR's server wrote about the driver in its last run (vrserver.txt).
#include <algorithm>
#include <regex>
#include <sstream>

#include "checks.h"
#include "files.h"

namespace vantrels::doctor {

namespace {

// Quoted lines are kept to this many (and this many characters each) so that a long session
// does not bury the report.
constexpr size_t kMaxQuotedLines = 30;
constexpr size_t kMaxLineLength = 300;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return text;
}

// A line of SteamVR's own saying that it could not load (or start) the driver named vantrels.
bool SaysNotLoaded(const std::string &line) {
  static const std::regex kAboutDriver(R"(driver\W{0,3}vantrels\b|driver_vantrels\.)");
  static const char *const kFailures[] = {"unable", "fail",  "could not", "couldn't",     "cannot",
                                          "can't",  "error", "not found", "not be loaded"};
  const std::string lower = Lower(line);
  if (lower.find("[vantrels]") != std::string::npos || !std::regex_search(lower, kAboutDriver)) return false;
  return std::any_of(std::begin(kFailures), std::end(kFailures),
                     [&](const char *word) { return lower.find(word) != std::string::npos; });
}

// The driver's first line of a start: its port opened, or not.
bool StartsARun(const std::string &line) {
  return line.find("[Vantrels] Listening for the Vantrels server on") != std::string::npos ||
         line.find("[Vantrels] Could not open UDP port") != std::string::npos;
}

std::string Quote(const std::vector<std::string> &lines) {
  std::string text;
  for (size_t i = 0; i < lines.size() && i < kMaxQuotedLines; ++i) {
    std::string line = lines[i];
    if (line.size() > kMaxLineLength) line = line.substr(0, kMaxLineLength) + "...";
    text += "\n  " + line;
  }
  if (lines.size() > kMaxQuotedLines) {
    text += "\n  (and " + std::to_string(lines.size() - kMaxQuotedLines) + " more lines)";
  }
  return text;
}

}  // namespace

CheckResult CheckLog(const ServerLog &log) {
  const std::string id = "log";
  const std::string restart = "Fix what the checks above say, restart SteamVR, then run the doctor again.";
  if (log.folder.empty()) return Note(id, "SteamVR's log folder is not known (see steamvr)");
  const std::string folder = Quoted(log.folder) + " (" + log.folderSource + ")";
  std::error_code ec;
  if (!std::filesystem::is_directory(log.folder, ec)) {
    return Fail(
        id,
        "The log folder " + folder + (std::filesystem::exists(log.folder, ec) ? " is not a folder" : " does not exist"),
        "Start SteamVR once: it writes its log there. If it has run, check the \"log\" entry of "
        "openvrpaths.vrpath.");
  }
  const std::string file = Quoted(log.folder / "vrserver.txt");
  if (!log.readError.empty()) {
    return Fail(id, "SteamVR's log can't be read: " + log.readError,
                "Start SteamVR, wait until it is ready, then run the doctor again.");
  }
  std::vector<std::string> failures, ours;
  std::istringstream in(log.text);
  for (std::string line; std::getline(in, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (SaysNotLoaded(line)) failures.push_back(line);
    if (line.find("[Vantrels]") == std::string::npos) continue;
    if (StartsARun(line)) ours.clear();
    ours.push_back(line);
  }
  if (!failures.empty()) {
    return Fail(id, "SteamVR could not load the driver, says " + file + ":" + Quote(failures),
                "See library above: it tries the same load and says why it fails. " + restart);
  }
  if (ours.empty()) {
    return Fail(id, file + " has no line of the driver: SteamVR did not start it in its last run", restart);
  }
  const bool portFailed = ours.front().find("Could not open UDP port") != std::string::npos;
  const std::string quoted = "The driver's lines of its last start in " + file + ":" + Quote(ours);
  if (portFailed) {
    return Fail(id, quoted,
                "Another program held the driver's port when SteamVR started (see port): close it or move the "
                "driver to another port, then restart SteamVR.");
  }
  return Pass(id, quoted);
}

}  // namespace vantrels::doctor
