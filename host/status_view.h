// The once-a-second device table of vantrels-host --status.
#pragma once

#include <cstdint>
#include <string>

#include "host/substitute_host.h"

namespace vantrels::host {

class StatusView {
 public:
  // One header line and one line per accepted device of the driver: serial, index, pose
  // updates per second since the previous call (over `seconds`), position, validity, battery.
  std::string Render(const SubstituteHost &host, double seconds);

 private:
  uint64_t seenUpdates_ = 0;  // pose updates counted so far, forgotten ones included
};

}  // namespace vantrels::host
