#pragma once

#include <optional>
#include <string>

namespace vantrels::doctor {

// One line of the doctor's report. `ok` is empty when the check does not apply (or only notes
// something); only a false one fails the run. `fix` says what to do about a failure.
struct CheckResult {
  std::string id;
  std::optional<bool> ok;
  std::string summary;
  std::string fix;
};

inline CheckResult Pass(std::string id, std::string summary) {
  return {std::move(id), true, std::move(summary), ""};
}
inline CheckResult Fail(std::string id, std::string summary, std::string fix) {
  return {std::move(id), false, std::move(summary), std::move(fix)};
}
inline CheckResult Note(std::string id, std::string summary, std::string fix = "") {
  return {std::move(id), std::nullopt, std::move(summary), std::move(fix)};
}

}  // namespace vantrels::doctor
