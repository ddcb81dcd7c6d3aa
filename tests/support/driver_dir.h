#pragma once

// The driver folder the module tests load: the one this build made, or the folder named by
// VANTRELS_TEST_DRIVER_DIR (the portable leg of scripts/test runs them against build/portable).

#include <cstdlib>
#include <filesystem>

namespace vantrels::testing {

inline std::filesystem::path DriverDir() {
  const char *dir = std::getenv("VANTRELS_TEST_DRIVER_DIR");
  return dir != nullptr && *dir != '\0' ? std::filesystem::path(dir) : std::filesystem::path(VANTRELS_DRIVER_DIR);
}

}  // namespace vantrels::testing
