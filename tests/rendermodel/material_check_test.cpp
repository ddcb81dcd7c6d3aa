#include "rendermodel/material_check.h"

#include <gtest/gtest.h>

#include <string>

#include "test_files.h"

namespace vantrels {
namespace {

using testing::TempDir;
using testing::WriteFile;

std::string TextureOf(const std::string &mtlText, std::string *reason) {
  TempDir dir;
  WriteFile(dir.path() / "m.mtl", mtlText);
  std::string texture;
  *reason = CheckMaterialFile(dir.path() / "m.mtl", texture);
  return texture;
}

TEST(CheckMaterialFile, TakesTheLastNamedTexture) {
  std::string reason;
  EXPECT_EQ(TextureOf("newmtl a\nmap_Kd a.png\nnewmtl b\nmap_Kd b.png\n", &reason), "b.png");
  EXPECT_EQ(reason, "");
  EXPECT_EQ(TextureOf("map_Kd a.png\nmap_Kd\nmap_Kd \t\r\n", &reason), "a.png");
  EXPECT_EQ(reason, "");
  EXPECT_EQ(TextureOf("\tmap_Kd   my texture.png  \r\n", &reason), "my");
  EXPECT_EQ(TextureOf("map_Kd -s 1 1 1 t.png\n", &reason), "-s");  // options are not interpreted
  EXPECT_EQ(TextureOf("map_Kd last.png", &reason), "last.png");
}

TEST(CheckMaterialFile, NoTexture) {
  std::string reason;
  for (const char *text : {"", "\n", "newmtl a\nKd 1 1 1\n", "map_kd t.png\n", "MAP_KD t.png\n", "map_Kd\n",
                           "map_Kdx t.png\n", "# map_Kd t.png\n"}) {
    EXPECT_EQ(TextureOf(text, &reason), "") << text;
    EXPECT_EQ(reason, "el material no tiene textura") << text;
  }
  // A name that comes after an overlong line is never read.
  EXPECT_EQ(TextureOf(std::string(70000, 'x') + "\nmap_Kd t.png\n", &reason), "");
  EXPECT_EQ(reason, "el material no tiene textura");
}

TEST(CheckMaterialFile, MissingFile) {
  TempDir dir;
  std::string texture = "kept";
  EXPECT_EQ(CheckMaterialFile(dir.path() / "absent.mtl", texture), "falta absent.mtl");
  EXPECT_EQ(texture, "kept");
}

TEST(CheckTextureFile, SignatureAndLength) {
  TempDir dir;
  const std::string png = testing::PngSignature();
  for (std::size_t size = 0; size < 8; ++size) {
    WriteFile(dir.path() / "short.png", png.substr(0, size));
    EXPECT_EQ(CheckTextureFile(dir.path() / "short.png"), "falta la textura short.png") << size;
  }
  WriteFile(dir.path() / "exact.png", png);
  EXPECT_EQ(CheckTextureFile(dir.path() / "exact.png"), "");
  WriteFile(dir.path() / "photo.png", std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11));
  EXPECT_EQ(CheckTextureFile(dir.path() / "photo.png"), "la textura no es un PNG");
  std::string almost = png;
  almost[7] = '\x0B';
  WriteFile(dir.path() / "almost.png", almost + "more");
  EXPECT_EQ(CheckTextureFile(dir.path() / "almost.png"), "la textura no es un PNG");
  EXPECT_EQ(CheckTextureFile(dir.path() / "absent.png"), "falta la textura absent.png");
}

}  // namespace
}  // namespace vantrels
