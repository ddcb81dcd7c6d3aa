#include <dlfcn.h>

#include <exception>
#include <system_error>

#include "rendermodel/driver_folder.h"
#include "rendermodel/module_path.h"

namespace vantrels {

std::filesystem::path OwnModuleFilePath() noexcept {
  try {
    // Any function of the driver's code names the file it was loaded from; FindDriverFolder is the one
    // the search starts from.
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void *>(&FindDriverFolder), &info) == 0 || info.dli_fname == nullptr ||
        info.dli_fname[0] == '\0') {
      return {};
    }
    // dli_fname is the name the host passed to dlopen, which may be relative to its working folder.
    std::error_code ec;
    std::filesystem::path file = std::filesystem::absolute(std::filesystem::path(info.dli_fname), ec);
    if (ec) return {};
    return file;
  } catch (const std::exception &) {
    return {};
  }
}

}  // namespace vantrels
