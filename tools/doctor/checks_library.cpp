// library and model: whether SteamVR can load the driver on this system, and whether its own
// render model is shown.
#include <system_error>

#include "checks.h"
#include "files.h"

namespace vantrels::doctor {

namespace fs = std::filesystem;

namespace {

// What a player should know about the C library when the driver does not load: the glibc the
// library needs at most and the one this system has.
std::string GlibcText(const std::string &system, const std::vector<VersionNeed> &needs, bool &tooOld) {
  tooOld = false;
  if (system.empty()) return "";
  const std::string needed = HighestGlibc(needs);
  if (needed.empty()) return " This system has glibc " + system + ".";
  tooOld = CompareVersions(needed, system) > 0;
  return " It needs glibc " + needed + " or later (GLIBC_" + needed + "); this system has glibc " + system + ".";
}

}  // namespace

CheckResult CheckLibrary(const std::optional<fs::path> &library, const ProbeResult &probe,
                         const std::string &systemGlibc, const std::vector<VersionNeed> &needs) {
  const std::string id = "library";
  if (!library) return Note(id, "No library to load (see folder)");
  const std::string name = Quoted(library->filename());
  const std::string reinstall =
      std::string("Install the driver again from the release (") + kInstallHint + "); the file may be damaged.";
  using Outcome = ProbeResult::Outcome;
  switch (probe.outcome) {
    case Outcome::Provider:
      return Pass(id, name + " loads, and HmdDriverFactory(\"IServerTrackedDeviceProvider_004\") returns the provider");
    case Outcome::LoadFailed: {
      bool tooOld = false;
      const std::string glibc = GlibcText(systemGlibc, needs, tooOld);
      return Fail(id, name + " does not load on this system: " + probe.detail + "." + glibc,
                  tooOld ? "This build of the driver is for newer systems: install the portable build, which loads on "
                           "glibc 2.31 and later (or update the system)."
                         : reinstall);
    }
    case Outcome::NoFactory:
      return Fail(id, name + " loads but has no HmdDriverFactory, so it is not a SteamVR driver", reinstall);
    case Outcome::NoProvider:
      return Fail(id,
                  name + " loads, but HmdDriverFactory(\"IServerTrackedDeviceProvider_004\") returns no provider (" +
                      probe.detail + ")",
                  reinstall);
    case Outcome::Crashed:
      return Fail(id, name + " crashed " + probe.stage + " (" + probe.detail + ")",
                  "Install the driver again from the release; if it still crashes, report it with this output.");
    case Outcome::TimedOut:
      return Fail(id, name + " hung " + probe.stage + " (stopped after " + probe.detail + ")",
                  "Install the driver again from the release; if it still hangs, report it with this output.");
    case Outcome::NotStarted:
      break;
  }
  return Fail(id, "Could not try to load " + name + ": " + probe.detail,
              "Run the doctor again; the test process could not be started.");
}

CheckResult CheckModel(const std::optional<fs::path> &folder, const std::string &reason) {
  const std::string id = "model";
  std::error_code ec;
  if (!folder || !fs::is_directory(*folder, ec)) return Note(id, "No driver folder to check (see registered)");
  if (reason.empty()) return Pass(id, "The render model resources/rendermodels/vantrel passes the driver's check");
  // Not a failure: the trackers work and show SteamVR's own tracker model.
  return Note(
      id,
      "The render model fails the driver's check (" + reason + "), so SteamVR shows its fallback tracker model instead",
      "To get the driver's own model back, copy the release's resources/rendermodels/vantrel folder into " +
          Quoted(*folder / "resources" / "rendermodels") + ".");
}

}  // namespace vantrels::doctor
