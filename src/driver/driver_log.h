#pragma once

#include <string_view>

namespace vantrels {

// Writes one line to the host's driver log: "[Vantrels] " followed by the text, unchanged.
void DriverLog(std::string_view text);

// Writes one line exactly as given, for the few callers that put the prefix in themselves.
// Dropped when the host offers no log.
void WriteLogLine(std::string_view line);

}  // namespace vantrels
