#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace vantrels {

// One number of a face corner as a 1-based index into `count` elements read so far. Returns 0 for an
// empty text, a text that is not wholly an optionally signed decimal integer, or the value 0; a
// negative value k counts back from the end (k + count + 1). Values beyond the int32 range are held at
// the nearest end of it, so they fail the caller's 1..count test.
int32_t ParseFaceIndex(std::string_view text, int32_t count) noexcept;

// Checks the OBJ model file against what SteamVR can load: one object of triangles whose corners all
// have position/texture coordinate/normal numbers in range, and at most 65535 positions. Returns "" when
// the file passes, else one reason in Spanish (UTF-8). The name after the last "mtllib" goes to
// `materialLibrary`. Never throws.
std::string CheckObjFile(const std::filesystem::path &objPath, std::string &materialLibrary) noexcept;

}  // namespace vantrels
