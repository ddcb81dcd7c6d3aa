// The folder of the running program, where the files it ships with lie beside it.
#pragma once

#include <filesystem>

namespace vantrels::host {

// Empty when it cannot be told.
std::filesystem::path ExecutableFolder();

}  // namespace vantrels::host
