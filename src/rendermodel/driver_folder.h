#pragma once

#include <string>

namespace vantrels {

// The driver's folder (the one that holds "driver.vrdrivermanifest"), found from the location of the
// library file that contains this code: the library sits in <folder>/bin/<platform>/, so the folder is
// two levels above the library's own folder. Returns UTF-8 text, or "" when the library's path is
// unknown or the manifest is not there. Never throws.
std::string FindDriverFolder() noexcept;

}  // namespace vantrels
