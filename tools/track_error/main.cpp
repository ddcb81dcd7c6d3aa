// vantrels-track-error: how far the poses the driver submitted to the host are from the
// simulator's ground truth, per tracker and overall; with --plot also as a picture, drawn by the
// Python script that lies beside this program.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>

#include "host/executable_folder.h"
#include "run_program.h"
#include "track_error.h"

using namespace vantrels::sim;

namespace {

constexpr const char *kPlotScript = "vantrels_track_error_plot.py";

// Names reach this program as UTF-8, and files are opened by their wide names on Windows.
std::filesystem::path PathFromUtf8(const std::string &utf8) {
  return std::u8string(utf8.begin(), utf8.end());
}

std::string Utf8(const std::filesystem::path &path) {
  const std::u8string utf8 = path.u8string();
  return {utf8.begin(), utf8.end()};
}

bool HasPictureExtension(const std::string &path) {
  std::string extension = Utf8(PathFromUtf8(path).extension());
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".png" || extension == ".svg";
}

// The interpreters to try: the one VANTRELS_PYTHON names, or this system's usual ones.
std::vector<std::vector<std::string>> Pythons() {
  const std::string chosen = Utf8Environment("VANTRELS_PYTHON");
  return chosen.empty() ? PythonCommands() : std::vector<std::vector<std::string>>{{chosen}};
}

// Writes the compared poses into a temporary file, has the script draw them and removes them again.
bool DrawPlot(const Evaluation &e, const std::string &plotPath, std::optional<uint8_t> tracker) {
  const uint8_t chosen = tracker.value_or(e.perPoint.front().first);
  if (std::none_of(e.perPoint.begin(), e.perPoint.end(), [&](const auto &p) { return p.first == chosen; })) {
    std::cerr << "vantrels-track-error: " << SerialForBodyPoint(chosen) << " has no compared poses to draw\n";
    return false;
  }
  const std::filesystem::path script = vantrels::host::ExecutableFolder() / kPlotScript;
  if (!std::filesystem::exists(script)) {
    std::cerr << "vantrels-track-error: cannot draw: " << Utf8(script) << " is missing\n";
    return false;
  }
  const std::filesystem::path dataPath = NewTemporaryFile();
  std::error_code ignored;
  {
    std::ofstream data(dataPath);
    WritePlotData(e, data);
    if (dataPath.empty() || !data.flush()) {
      std::cerr << "vantrels-track-error: cannot write the plot's data into a temporary file\n";
      if (!dataPath.empty()) std::filesystem::remove(dataPath, ignored);
      return false;
    }
  }
  char title[160];
  std::snprintf(title, sizeof title, "all trackers: position RMS %.1f mm, p95 %.1f mm; rotation RMS %.2f deg",
                e.overall.positionRmsMm, e.overall.positionP95Mm, e.overall.rotationRmsDeg);
  int status = -1;
  std::string tried;
  for (std::vector<std::string> command : Pythons()) {
    tried += tried.empty() ? " " : ", ";
    for (const std::string &word : command) tried += (&word == &command.front() ? "" : " ") + word;
    command.insert(command.end(),
                   {Utf8(script), Utf8(dataPath), plotPath, "--tracker", SerialForBodyPoint(chosen), "--title", title});
    status = RunProgram(command);
    if (status >= 0) break;  // it started: its result is the drawing's
  }
  std::filesystem::remove(dataPath, ignored);
  if (status < 0) {
    std::cerr << "vantrels-track-error: cannot draw " << plotPath << ": no Python 3 could be started (tried" << tried
              << "); " << PythonAdvice() << "\n";
    return false;
  }
  if (status != 0) {
    std::cerr << "vantrels-track-error: drawing " << plotPath << " failed\n";
    return false;
  }
  std::cout << "plot: " << plotPath << "\n";
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  const std::vector<std::string> arguments = Utf8Arguments(argc, argv);
  std::vector<const char *> utf8Argv;
  for (const std::string &a : arguments) utf8Argv.push_back(a.c_str());
  CLI::App app{"vantrels-track-error: tracking error of the driver's poses against vantrels-sim's ground truth"};
  std::string truthPath;
  std::string hostPath;
  std::string plotPath;
  std::string plotTracker;
  app.add_option("--truth", truthPath, "ground truth written by vantrels-sim --record")->required();
  app.add_option("--host", hostPath, "call record written by vantrels-host --record")->required();
  auto *plot = app.add_option("--plot", plotPath,
                              "also draw the position error over time into this .png or .svg file (needs Python 3 "
                              "with matplotlib)");
  app.add_option("--plot-tracker", plotTracker,
                 "tracker whose true and submitted positions the plot shows: serial, name (left-foot) or number "
                 "(default: the first tracker)")
      ->needs(plot);
  try {
    app.parse(static_cast<int>(utf8Argv.size()), utf8Argv.data());
  } catch (const CLI::CallForHelp &e) {
    return app.exit(e);
  } catch (const CLI::ParseError &e) {
    app.exit(e);
    return 2;
  }
  if (!plotPath.empty() && !HasPictureExtension(plotPath)) {
    std::cerr << "vantrels-track-error: --plot " << plotPath << ": the name must end in .png or .svg\n";
    return 2;
  }
  std::optional<uint8_t> tracker;
  if (!plotTracker.empty()) {
    tracker = BodyPointForName(plotTracker);
    if (!tracker || *tracker == 0) {
      std::cerr << "vantrels-track-error: --plot-tracker " << plotTracker
                << " names no tracker (a serial like VANTRL-LEFT-FOOT, a name like left-foot, or 1 to 19)\n";
      return 2;
    }
  }

  std::ifstream truthFile(PathFromUtf8(truthPath));
  if (!truthFile) {
    std::cerr << "vantrels-track-error: cannot read " << truthPath << "\n";
    return 2;
  }
  std::ifstream hostFile(PathFromUtf8(hostPath));
  if (!hostFile) {
    std::cerr << "vantrels-track-error: cannot read " << hostPath << "\n";
    return 2;
  }
  const Truth truth = ReadTruth(truthFile);
  const HostRecord host = ReadHostRecord(hostFile);
  if (truth.badLines > 0)
    std::cerr << "vantrels-track-error: skipped " << truth.badLines << " unreadable truth lines\n";

  const Evaluation evaluation = Evaluate(truth, host.submissions);
  std::cout << FormatEvaluation(evaluation, host) << std::flush;
  if (evaluation.overall.count == 0) {
    std::cerr << "vantrels-track-error: no submitted pose could be compared with the ground truth\n";
    return 1;
  }
  if (!plotPath.empty() && !DrawPlot(evaluation, plotPath, tracker)) return 1;
  return 0;
}
