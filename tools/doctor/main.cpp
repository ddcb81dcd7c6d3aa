// vantrels-doctor: checks, one by one, what must hold for the Vantrels trackers to appear in
// SteamVR, and says what to do about each thing that does not.
//
// Exit status: 0 every check passed (or did not apply), 1 a check failed, 2 bad arguments.
#include <cstdio>
#include <exception>

#include "doctor.h"
#include "files.h"
#include "library_probe.h"
#include "platform.h"

int main(int argc, char **argv) {
  using namespace vantrels::doctor;
  try {
    const std::vector<std::string> arguments = Utf8Arguments(argc, argv);
    // The child that loads the driver library, started by the library check.
    if (arguments.size() == 3 && arguments[1] == kProbeOption) return RunLibraryProbe(PathFromUtf8(arguments[2]));

    DoctorOptions options;
    if (const std::optional<int> exit = ParseDoctorOptions(arguments, options)) return *exit;
    const std::vector<CheckResult> checks = RunDoctor(options);
    const std::string report = FormatReport(checks, options.json);
    std::fwrite(report.data(), 1, report.size(), stdout);
    std::fflush(stdout);
    return ExitStatus(checks);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "vantrels-doctor: %s\n", e.what());
    return 1;
  }
}
