// IVRDriverLog_001: keeps every line, and echoes it at once when asked to.
#include <cstdio>

#include "host/host_interfaces.h"

namespace vantrels::host {

void SubstituteHost::DriverLogImpl::Log(const char *message) {
  host_.GuardedVoid("Log", [&] {
    std::string text = ArgText(message);
    if (message == nullptr) host_.anomalies_.push_back("Log: null message");
    host_.logLines_.push_back(text);
    host_.Record({{"call", "Log"}, {"text", text}});
    if (host_.options_.echoLog) {
      std::fwrite(text.data(), 1, text.size(), stdout);
      std::fputc('\n', stdout);
      std::fflush(stdout);
    }
  });
}

}  // namespace vantrels::host
