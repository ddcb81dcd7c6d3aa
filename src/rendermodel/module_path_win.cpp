#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <exception>
#include <string>

#include "rendermodel/driver_folder.h"
#include "rendermodel/module_path.h"

namespace vantrels {

std::filesystem::path OwnModuleFilePath() noexcept {
  try {
    // The module that holds FindDriverFolder is the driver's library, not the host's program. The
    // handle is borrowed: no reference is taken, so none is given back.
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&FindDriverFolder), &module)) {
      return {};
    }
    // GetModuleFileNameW cuts a name that does not fit without saying so, other than by filling the
    // whole buffer: grow it until the name fits. Windows paths end at 32767 units.
    std::wstring name(1040, L'\0');
    for (;;) {
      const DWORD length = GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size()));
      if (length == 0) return {};
      if (length < name.size()) {
        name.resize(length);
        break;
      }
      if (name.size() > 32768) return {};
      name.resize(name.size() * 2);
    }
    // UTF-16 straight into the path, never through the ANSI code page: a user name with letters
    // outside it still gives the right folder.
    return std::filesystem::path(name);
  } catch (const std::exception &) {
    return {};
  }
}

}  // namespace vantrels
