#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "motion_model.h"

namespace vantrels::sim {

// Everything the command line of vantrels-sim sets.
struct SimOptions {
  uint16_t port = 21110;
  uint8_t version = 4;
  double rateHz = 60.0;
  double seconds = 10.0;
  std::vector<uint8_t> points;        // body point indices in sending order; default all 20
  std::vector<uint8_t> headRelative;  // indices sent with the head-relative flag
  Motion motion = Motion::Walk;
  double latencyMs = 0.0;
  double jitterMs = 0.0;
  bool keepOrder = false;  // jitter never lets a datagram overtake an earlier one
  double loss = 0.0;
  uint8_t smoothingMs = 0;
  bool prediction = true;
  bool adaptive = false;
  uint64_t seed = 1;
  int dropoutPoint = 16;  // body point whose valid flag clears in mid-run; -1 none
  double dropoutSeconds = 2.0;
  bool followHeadset = true;
  double waitSeconds = 5.0;  // with followHeadset: longest wait for the headset before the run starts
  std::string recordPath;
  bool verbose = false;
};

// Parses the command line. Returns nullopt when the program should go on; otherwise the exit
// code to end with: 0 after --help, 2 after a message on stderr for any bad argument.
std::optional<int> ParseSimOptions(int argc, const char *const *argv, SimOptions &options);

// "all" (every index 0 to 19), "none" (no index), or a comma list of indices and ranges
// ("1,2,5-8"). Indices must lie in 0..19 and appear once. False with a message otherwise.
bool ParsePointList(const std::string &text, bool allowAll, std::vector<uint8_t> &out, std::string &error);

}  // namespace vantrels::sim
