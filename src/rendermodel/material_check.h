#pragma once

#include <filesystem>
#include <string>

namespace vantrels {

// Reads the MTL file to its end and hands back, in `textureName`, the name after the last "map_Kd"
// line that has one. Returns "" when a texture is named, else one reason in Spanish (UTF-8).
// Never throws.
std::string CheckMaterialFile(const std::filesystem::path &mtlPath, std::string &textureName) noexcept;

// Checks that the texture file exists and starts with the PNG signature; nothing else of it is read.
// Returns "" when it does, else one reason in Spanish (UTF-8). Never throws.
std::string CheckTextureFile(const std::filesystem::path &texturePath) noexcept;

}  // namespace vantrels
