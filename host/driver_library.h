// Loading a driver library file, the platform's way. One implementation per platform.
#pragma once

#include <filesystem>
#include <string>

namespace vantrels::host {

// Where the VR server looks for a driver's library below its folder: bin/<kPlatformFolder>/
// driver_<name><kLibrarySuffix>.
extern const char *const kPlatformFolder;
extern const char *const kLibrarySuffix;

// The loaded library, or null with the loader's reason in `error`.
void *OpenLibrary(const std::filesystem::path &file, std::string &error);
// The address of an exported function, or null.
void *LibrarySymbol(void *library, const char *name);
void CloseLibrary(void *library);

}  // namespace vantrels::host
