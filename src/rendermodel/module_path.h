#pragma once

#include <filesystem>

namespace vantrels {

// Absolute path of the library (or executable) file that contains the driver's code, or an empty path
// when the platform can't tell. One implementation per platform. Never throws.
std::filesystem::path OwnModuleFilePath() noexcept;

}  // namespace vantrels
