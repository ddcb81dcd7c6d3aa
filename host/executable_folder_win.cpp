#include <windows.h>

#include <string>

#include "host/executable_folder.h"

namespace vantrels::host {

std::filesystem::path ExecutableFolder() {
  std::wstring name(1024, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return {};
    // A name that does not fit is cut to the buffer's size without a word: try a larger buffer.
    if (length < name.size()) return std::filesystem::path(name.substr(0, length)).parent_path();
    if (name.size() > 32768) return {};
    name.resize(name.size() * 2);
  }
}

}  // namespace vantrels::host
