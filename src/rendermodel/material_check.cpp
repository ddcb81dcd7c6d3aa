#include "rendermodel/material_check.h"

#include <array>
#include <cstddef>
#include <exception>
#include <new>
#include <string_view>

#include "rendermodel/line_pieces.h"
#include "rendermodel/model_file.h"

namespace vantrels {

namespace {

constexpr std::array<unsigned char, 8> kPngSignature = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

}  // namespace

std::string CheckMaterialFile(const std::filesystem::path &mtlPath, std::string &textureName) noexcept {
  try {
    ModelFile file;
    const auto cannotRead = [&mtlPath] { return "falta " + mtlPath.filename().string(); };
    if (!file.Open(mtlPath)) return cannotRead();

    // No early stop: a later "map_Kd" replaces an earlier one.
    LineReader reader(file);
    std::string_view line;
    while (reader.Next(line)) {
      std::string_view rest = line;
      if (NextPiece(rest) != "map_Kd") continue;
      const std::string_view name = NextPiece(rest);
      if (!name.empty()) textureName.assign(name);
    }
    // Read only in part, it may name another texture further on: refused like a missing file.
    if (reader.Failed()) return cannotRead();
    if (textureName.empty()) return "el material no tiene textura";
    return {};
  } catch (const std::bad_alloc &) {
    return "sin memoria";  // short enough to need no allocation
  } catch (const std::exception &) {
    return "falta el material";
  }
}

std::string CheckTextureFile(const std::filesystem::path &texturePath) noexcept {
  try {
    ModelFile file;
    std::array<unsigned char, kPngSignature.size()> head{};
    std::size_t got = 0;
    if (file.Open(texturePath)) {
      while (got < head.size()) {
        const std::ptrdiff_t n = file.Read(reinterpret_cast<char *>(head.data()) + got, head.size() - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
      }
    }
    if (got < head.size()) return "falta la textura " + texturePath.filename().string();
    if (head != kPngSignature) return "la textura no es un PNG";
    return {};
  } catch (const std::bad_alloc &) {
    return "sin memoria";  // short enough to need no allocation
  } catch (const std::exception &) {
    return "falta la textura";
  }
}

}  // namespace vantrels
