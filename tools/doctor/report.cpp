// The doctor's output: lines for a player, or one JSON object for programs.
#include <nlohmann/json.hpp>

#include "doctor.h"

namespace vantrels::doctor {

namespace {

constexpr const char *kPassed = "\xE2\x9C\x93";   // ✓
constexpr const char *kFailed = "\xE2\x9C\x97";   // ✗
constexpr const char *kNeutral = "\xE2\x80\x93";  // –
constexpr size_t kIdWidth = 11;

// Continuation lines of a text, indented under its first line.
std::string Indented(const std::string &text, size_t indent) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '\n') out += std::string(indent, ' ');
  }
  return out;
}

std::string Json(const std::vector<CheckResult> &checks) {
  nlohmann::ordered_json report = {{"ok", ExitStatus(checks) == 0}, {"checks", nlohmann::ordered_json::array()}};
  for (const CheckResult &c : checks) {
    report["checks"].push_back({{"id", c.id},
                                {"ok", c.ok ? nlohmann::ordered_json(*c.ok) : nlohmann::ordered_json(nullptr)},
                                {"summary", c.summary},
                                {"fix", c.fix}});
  }
  // Text from the player's files may hold bytes that are not UTF-8: they become U+FFFD.
  return report.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string FormatReport(const std::vector<CheckResult> &checks, bool json) {
  if (json) return Json(checks);
  std::string out, todo;
  size_t failed = 0;
  for (const CheckResult &c : checks) {
    const char *mark = !c.ok ? kNeutral : *c.ok ? kPassed : kFailed;
    std::string id = c.id;
    id.resize(kIdWidth, ' ');
    out += std::string(mark) + " " + id + Indented(c.summary, 2 + kIdWidth) + "\n";
    if (c.ok == false) ++failed;
    // Every failure, and a note that has advice too.
    if (c.ok != true && !c.fix.empty()) todo += std::string(mark) + " " + c.id + ": " + c.fix + "\n";
  }
  if (!todo.empty()) out += "\nWhat to do:\n" + todo;
  out += '\n';
  out += failed == 0 ? std::string("No check failed.\n")
                     : std::to_string(failed) + " of " + std::to_string(checks.size()) + " checks failed.\n";
  return out;
}

}  // namespace vantrels::doctor
