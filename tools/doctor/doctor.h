#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "check_result.h"

namespace vantrels::doctor {

struct DoctorOptions {
  std::optional<std::filesystem::path> steamVr;  // --steamvr
  std::optional<std::filesystem::path> driver;   // --driver
  std::optional<uint16_t> port;                  // --port
  double listenSeconds = 3.0;                    // --listen
  bool json = false;                             // --json
};

// Reads the command line (UTF-8, the program's name first). Returns nothing when the doctor
// should run; otherwise the exit status to end with: 0 after --help, 2 after a message for bad
// arguments.
std::optional<int> ParseDoctorOptions(const std::vector<std::string> &arguments, DoctorOptions &options);

// Every check, in the report's order: steamvr, registered, folder, library, model, enabled, port,
// server, log. Never throws: a check that breaks down reports that as its failure.
std::vector<CheckResult> RunDoctor(const DoctorOptions &options);

// The report: one line per check and what to do for each failure, or with `json` one JSON object.
std::string FormatReport(const std::vector<CheckResult> &checks, bool json);
// 0 when no check failed, else 1.
int ExitStatus(const std::vector<CheckResult> &checks);

}  // namespace vantrels::doctor
