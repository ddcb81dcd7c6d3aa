#include "rendermodel/render_model_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_files.h"

namespace vantrels {
namespace {

using testing::TempDir;
using testing::WriteFile;

const std::string kValidFaces = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\nf 1/1/1 2/1/1 3/1/1\n";

std::string Utf8(const std::filesystem::path &path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

TEST(CheckRenderModel, StagesInOrder) {
  TempDir dir;
  const std::string root = Utf8(dir.path());
  EXPECT_EQ(CheckRenderModel(""), "no se encontró la carpeta del driver");
  EXPECT_EQ(CheckRenderModel(root), "no se puede abrir vantrel.obj");

  const std::filesystem::path model = testing::WriteValidModel(dir.path());
  EXPECT_EQ(CheckRenderModel(root), "");
  EXPECT_EQ(CheckRenderModel(root + "/"), "");
  EXPECT_EQ(CheckRenderModel(root + "//"), "");

  std::filesystem::remove(model / "vantrel.png");
  EXPECT_EQ(CheckRenderModel(root), "falta la textura vantrel.png");
  WriteFile(model / "vantrel.png", "\xFF\xD8\xFF\xE0 a JPEG image");
  EXPECT_EQ(CheckRenderModel(root), "la textura no es un PNG");

  WriteFile(model / "vantrel.mtl", "newmtl body\nKd 1 1 1\n");
  EXPECT_EQ(CheckRenderModel(root), "el material no tiene textura");
  std::filesystem::remove(model / "vantrel.mtl");
  EXPECT_EQ(CheckRenderModel(root), "falta vantrel.mtl");

  WriteFile(model / "vantrel.obj", kValidFaces);
  EXPECT_EQ(CheckRenderModel(root), "el OBJ no declara material");
  WriteFile(model / "vantrel.obj", "mtllib\n" + kValidFaces);
  EXPECT_EQ(CheckRenderModel(root), "el OBJ no declara material");
  WriteFile(model / "vantrel.obj", "o a\ng b\n" + kValidFaces);
  EXPECT_EQ(CheckRenderModel(root), "el OBJ tiene más de un objeto (SteamVR solo admite uno)");
}

TEST(CheckRenderModel, NamesResolveAgainstTheModelFolder) {
  TempDir dir;
  const std::string root = Utf8(dir.path());
  const std::filesystem::path model = testing::ModelFolder(dir.path());
  WriteFile(model / "vantrel.obj", "mtllib sub/inner.mtl\n" + kValidFaces);
  WriteFile(model / "sub" / "inner.mtl", "map_Kd skin.png\n");
  WriteFile(model / "sub" / "skin.png", testing::PngSignature());
  // The texture beside the MTL file in the subfolder is not the one looked for.
  EXPECT_EQ(CheckRenderModel(root), "falta la textura skin.png");
  WriteFile(model / "skin.png", testing::PngSignature());
  EXPECT_EQ(CheckRenderModel(root), "");
  WriteFile(model / "sub" / "inner.mtl", "map_Kd sub/skin.png\n");
  EXPECT_EQ(CheckRenderModel(root), "");

  // An absolute name replaces the model folder.
  TempDir elsewhere;
  WriteFile(elsewhere.path() / "far.mtl", "map_Kd " + Utf8(elsewhere.path() / "far.png") + "\n");
  WriteFile(model / "vantrel.obj", "mtllib " + Utf8(elsewhere.path() / "far.mtl") + "\n" + kValidFaces);
  EXPECT_EQ(CheckRenderModel(root), "falta la textura far.png");
  WriteFile(elsewhere.path() / "far.png", testing::PngSignature());
  EXPECT_EQ(CheckRenderModel(root), "");
}

TEST(CheckRenderModel, NonAsciiDriverFolder) {
  TempDir dir;
  const std::string root = Utf8(dir.path()) + "/Señal ñandú 驱动";
  testing::WriteValidModel(std::filesystem::path(std::u8string(root.begin(), root.end())));
  EXPECT_EQ(CheckRenderModel(root), "");
  EXPECT_EQ(CheckRenderModel(Utf8(dir.path()) + "/Senal"), "no se puede abrir vantrel.obj");
}

}  // namespace
}  // namespace vantrels
