// The folder of the running vantrels-host, where its view files lie.
#pragma once

#include <filesystem>

namespace vantrels::host {

// Empty when it cannot be told.
std::filesystem::path ExecutableFolder();

}  // namespace vantrels::host
