#include "driver/driver_log.h"

#include <openvr_driver.h>

#include <string>

namespace vantrels {

void WriteLogLine(std::string_view line) {
  if (vr::VRDriverContext() == nullptr) return;  // before Init or after Cleanup: nobody to tell
  vr::IVRDriverLog *log = vr::VRDriverLog();
  if (log == nullptr) return;
  const std::string text(line);  // the host wants a NUL-terminated string
  log->Log(text.c_str());
}

void DriverLog(std::string_view text) {
  std::string line;
  line.reserve(11 + text.size());
  line.append("[Vantrels] ").append(text);
  WriteLogLine(line);
}

}  // namespace vantrels
