// Loaded by the tests from a temporary driver folder, like the host loads the driver module.

#include <string>

#include "rendermodel/driver_folder.h"

extern "C" __attribute__((visibility("default"))) const char *ProbeFindDriverFolder() {
  static std::string folder;
  folder = vantrels::FindDriverFolder();
  return folder.c_str();
}
