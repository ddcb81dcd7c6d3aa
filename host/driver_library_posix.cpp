#include <dlfcn.h>

#include "host/driver_library.h"

namespace vantrels::host {

const char *const kPlatformFolder = "linux64";
const char *const kLibrarySuffix = ".so";

void *OpenLibrary(const std::filesystem::path &file, std::string &error) {
  dlerror();
  void *library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char *why = dlerror();
    error = why ? why : "unknown dlopen error";
  }
  return library;
}

void *LibrarySymbol(void *library, const char *name) {
  return dlsym(library, name);
}

void CloseLibrary(void *library) {
  dlclose(library);
}

}  // namespace vantrels::host
