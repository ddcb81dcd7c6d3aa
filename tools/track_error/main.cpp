// vantrels-track-error: how far the poses the driver submitted to the host are from the
// simulator's ground truth, per tracker and overall.
#include <CLI/CLI.hpp>
#include <fstream>
#include <iostream>

#include "track_error.h"

using namespace vantrels::sim;

int main(int argc, char **argv) {
  CLI::App app{"vantrels-track-error: tracking error of the driver's poses against vantrels-sim's ground truth"};
  std::string truthPath;
  std::string hostPath;
  app.add_option("--truth", truthPath, "ground truth written by vantrels-sim --record")->required();
  app.add_option("--host", hostPath, "call record written by vantrels-host --record")->required();
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp &e) {
    return app.exit(e);
  } catch (const CLI::ParseError &e) {
    app.exit(e);
    return 2;
  }

  std::ifstream truthFile(truthPath);
  if (!truthFile) {
    std::cerr << "vantrels-track-error: cannot read " << truthPath << "\n";
    return 2;
  }
  std::ifstream hostFile(hostPath);
  if (!hostFile) {
    std::cerr << "vantrels-track-error: cannot read " << hostPath << "\n";
    return 2;
  }
  const Truth truth = ReadTruth(truthFile);
  const HostRecord host = ReadHostRecord(hostFile);
  if (truth.badLines > 0)
    std::cerr << "vantrels-track-error: skipped " << truth.badLines << " unreadable truth lines\n";

  const Evaluation evaluation = Evaluate(truth, host.submissions);
  std::cout << FormatEvaluation(evaluation, host);
  if (evaluation.overall.count == 0) {
    std::cerr << "vantrels-track-error: no submitted pose could be compared with the ground truth\n";
    return 1;
  }
  return 0;
}
