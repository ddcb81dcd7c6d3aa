#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "host/driver_library.h"

namespace vantrels::host {

const char *const kPlatformFolder = "win64";
const char *const kLibrarySuffix = ".dll";

void *OpenLibrary(const std::filesystem::path &file, std::string &error) {
  // A wide name, with backslashes: the loader does not take forward slashes in a path.
  std::filesystem::path native = file;
  native.make_preferred();
  HMODULE library = LoadLibraryW(native.c_str());
  if (library == nullptr) {
    // The same number the VR server logs (126: the library or one it needs was not found).
    const DWORD code = GetLastError();
    error = "error " + std::to_string(code);
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  sizeof(text), nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' ')) --length;
    if (length > 0) error += ": " + std::string(text, length);
  }
  return reinterpret_cast<void *>(library);
}

void *LibrarySymbol(void *library, const char *name) {
  return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(void *library) {
  FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace vantrels::host
