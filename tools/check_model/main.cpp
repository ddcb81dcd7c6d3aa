// vantrels-check-model: tells whether the driver's own render model in a driver folder is usable, with
// the same check the driver runs before it names the model to SteamVR.

#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

#include "rendermodel/render_model_check.h"

namespace {

constexpr const char *kUsage =
    "usage: vantrels-check-model DRIVER_FOLDER\n"
    "\n"
    "Checks the render model in DRIVER_FOLDER/resources/rendermodels/vantrel (DRIVER_FOLDER is the folder\n"
    "that holds driver.vrdrivermanifest). Prints \"ok\" and exits with 0 when SteamVR can use it, otherwise\n"
    "prints the reason and exits with 1. Exits with 2 on bad arguments. Use -- before a folder whose name\n"
    "starts with '-'.\n";

}  // namespace

int main(int argc, char **argv) {
  std::string folder;
  if (argc == 2) {
    const std::string_view arg = argv[1];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (arg.size() > 1 && arg.front() == '-') {
      std::cerr << "vantrels-check-model: unknown option " << arg << "\n" << kUsage;
      return 2;
    }
    folder = arg;
  } else if (argc == 3 && std::string_view(argv[1]) == "--") {
    folder = argv[2];
  } else {
    std::cerr << kUsage;
    return 2;
  }

  // The folder goes to the check as given: on this platform a command-line argument is already the
  // file-name bytes the check expects.
  const std::string reason = vantrels::CheckRenderModel(folder);
  if (reason.empty()) {
    std::cout << "ok\n";
    return 0;
  }
  std::cout << reason << "\n";
  return 1;
}
