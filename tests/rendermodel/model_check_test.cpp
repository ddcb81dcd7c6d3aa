// The material, texture and whole-model checks, the files they refuse, and the model that ships.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "model_files.h"
#include "rendermodel/material_check.h"
#include "rendermodel/render_model_check.h"

namespace vantrels {
namespace {

using testing::TempDir;
using testing::WriteFile;

const std::string kNoTexture = "el material no tiene textura";

TEST(CheckMaterialFile, TakesTheLastNamedTextureOrSaysThereIsNone) {
  const struct {
    std::string text, texture, reason;
  } cases[] = {
      {"newmtl a\nmap_Kd a.png\nnewmtl b\nmap_Kd b.png\n", "b.png", ""},
      {"map_Kd a.png\nmap_Kd\nmap_Kd \t\r\n", "a.png", ""},  // a later line without a name keeps the earlier
      {"\tmap_Kd   my texture.png  \r\n", "my", ""},
      {"map_Kd -s 1 1 1 t.png\n", "-s", ""},  // options are not interpreted
      {"map_Kd last.png", "last.png", ""},
      {"", "", kNoTexture},
      {"newmtl a\nKd 1 1 1\n", "", kNoTexture},
      {"map_kd t.png\nMAP_KD t.png\nmap_Kdx t.png\n# map_Kd t.png\n", "", kNoTexture},
      // A file that can't be read to its end may name another texture further on.
      {"map_Kd t.png\n" + std::string(70000, 'x') + "\nmap_Kd u.png\n", "t.png", "falta m.mtl"},
  };
  for (const auto &c : cases) {
    TempDir dir;
    WriteFile(dir.path() / "m.mtl", c.text);
    std::string texture;
    EXPECT_EQ(CheckMaterialFile(dir.path() / "m.mtl", texture), c.reason) << c.text.substr(0, 80);
    EXPECT_EQ(texture, c.texture) << c.text.substr(0, 80);
  }
  TempDir dir;
  std::string texture = "kept";
  EXPECT_EQ(CheckMaterialFile(dir.path() / "absent.mtl", texture), "falta absent.mtl");
  EXPECT_EQ(texture, "kept");
}

TEST(CheckTextureFile, EightSignatureBytesOrTheReason) {
  TempDir dir;
  const std::string &png = testing::kPngSignature;
  for (std::size_t size = 0; size < 8; ++size) {
    WriteFile(dir.path() / "short.png", png.substr(0, size));
    EXPECT_EQ(CheckTextureFile(dir.path() / "short.png"), "falta la textura short.png") << size;
  }
  std::string almost = png;
  almost[7] = '\x0B';
  for (const auto &[content, reason] :
       {std::pair<std::string, std::string>{png, ""},
        {std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11), "la textura no es un PNG"},
        {almost + "more", "la textura no es un PNG"}}) {
    WriteFile(dir.path() / "t.png", content);
    EXPECT_EQ(CheckTextureFile(dir.path() / "t.png"), reason);
  }
  EXPECT_EQ(CheckTextureFile(dir.path() / "absent.png"), "falta la textura absent.png");
}

const std::string kValidFaces = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\nf 1/1/1 2/1/1 3/1/1\n";

TEST(CheckRenderModel, StagesInOrder) {
  TempDir dir;
  const std::string root = testing::Utf8(dir.path());
  EXPECT_EQ(CheckRenderModel(""), "no se encontró la carpeta del driver");
  EXPECT_EQ(CheckRenderModel(root), "no se puede abrir vantrel.obj");
  const std::filesystem::path model = testing::WriteValidModel(dir.path());
  for (const std::string &folder : {root, root + "/", root + "//"}) EXPECT_EQ(CheckRenderModel(folder), "");

  // Each step breaks the model a little more, at an earlier stage: that stage's reason comes out.
  const struct {
    const char *file;
    std::string content;  // empty: the file is removed
    std::string reason;
  } steps[] = {
      {"vantrel.png", "", "falta la textura vantrel.png"},
      {"vantrel.png", "\xFF\xD8\xFF\xE0 a JPEG image", "la textura no es un PNG"},
      {"vantrel.mtl", "newmtl body\nKd 1 1 1\n", kNoTexture},
      {"vantrel.mtl", "", "falta vantrel.mtl"},
      {"vantrel.obj", kValidFaces, "el OBJ no declara material"},
      {"vantrel.obj", "mtllib\n" + kValidFaces, "el OBJ no declara material"},
      {"vantrel.obj", "o a\ng b\n" + kValidFaces, "el OBJ tiene más de un objeto (SteamVR solo admite uno)"},
  };
  for (const auto &step : steps) {
    if (step.content.empty()) {
      std::filesystem::remove(model / step.file);
    } else {
      WriteFile(model / step.file, step.content);
    }
    EXPECT_EQ(CheckRenderModel(root), step.reason) << step.file;
  }
}

TEST(CheckRenderModel, NamesResolveAgainstTheModelFolder) {
  TempDir dir, elsewhere;
  const std::string root = testing::Utf8(dir.path());
  const std::filesystem::path model = testing::ModelFolder(dir.path());
  const std::string farMtl = testing::Utf8(elsewhere.path() / "far.mtl");
  const std::string farPng = testing::Utf8(elsewhere.path() / "far.png");
  const struct {
    std::filesystem::path file;
    std::string content, reason;
  } steps[] = {
      {model / "vantrel.obj", "mtllib sub/inner.mtl\n" + kValidFaces, "falta inner.mtl"},
      // The texture beside the MTL file in the subfolder is not the one looked for.
      {model / "sub/inner.mtl", "map_Kd skin.png\n", "falta la textura skin.png"},
      {model / "sub/skin.png", testing::kPngSignature, "falta la textura skin.png"},
      {model / "skin.png", testing::kPngSignature, ""},
      {model / "sub/inner.mtl", "map_Kd sub/skin.png\n", ""},
      // An absolute name replaces the model folder.
      {model / "vantrel.obj", "mtllib " + farMtl + "\n" + kValidFaces, "falta far.mtl"},
      {elsewhere.path() / "far.mtl", "map_Kd " + farPng + "\n", "falta la textura far.png"},
      {elsewhere.path() / "far.png", testing::kPngSignature, ""},
  };
  for (const auto &step : steps) {
    WriteFile(step.file, step.content);
    EXPECT_EQ(CheckRenderModel(root), step.reason) << step.file;
  }
  const std::string name = root + "/Señal ñandú 驱动";
  testing::WriteValidModel(std::filesystem::path(std::u8string(name.begin(), name.end())));
  EXPECT_EQ(CheckRenderModel(name), "");
  EXPECT_EQ(CheckRenderModel(root + "/Senal"), "no se puede abrir vantrel.obj");
}

#if !defined(_WIN32)  // FIFOs, /dev and links; the Windows tests have Windows' own devices
// The check runs on the host's thread: a FIFO, a folder or a device named as a model file is refused at
// once, never waited on or read without end; links to regular files are followed.
TEST(CheckRenderModel, OnlyRegularFilesAreRead) {
  const std::pair<const char *, const char *> stages[] = {{"vantrel.obj", "no se puede abrir vantrel.obj"},
                                                          {"vantrel.mtl", "falta vantrel.mtl"},
                                                          {"vantrel.png", "falta la textura vantrel.png"}};
  for (const auto &[file, reason] : stages) {
    for (const char *kind : {"fifo", "folder", "device", "link"}) {
      TempDir dir;
      const std::filesystem::path model = testing::WriteValidModel(dir.path());
      const std::filesystem::path path = model / file;
      std::filesystem::rename(path, dir.path() / file);
      const std::string k = kind;
      if (k == "fifo") {
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
      }
      if (k == "folder") std::filesystem::create_directory(path);
      if (k == "device") std::filesystem::create_symlink("/dev/zero", path);  // endless, with no line end
      if (k == "link") std::filesystem::create_symlink(dir.path() / file, path);
      auto result = std::async(std::launch::async, [&dir] { return CheckRenderModel(dir.path().string()); });
      if (result.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "the check blocked on " << path;
        // A writer that comes and goes releases a blocked open or read, so the test fails instead of hanging.
        while (result.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
          const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
          if (fd >= 0) ::close(fd);
        }
      }
      EXPECT_EQ(result.get(), k == "link" ? "" : reason) << file << " as " << kind;
    }
  }
}

#endif

// The model that ships passes the driver's own check; SteamVR counts distinct corners against 65,000,
// and three per face bounds them.
TEST(ShippedModel, PassesTheCheckWellUnderTheLimits) {
  EXPECT_EQ(CheckRenderModel(VANTRELS_SOURCE_DIR "/package"), "");
  std::ifstream obj(VANTRELS_SOURCE_DIR "/package/resources/rendermodels/vantrel/vantrel.obj");
  int faces = 0;
  for (std::string line; std::getline(obj, line);) faces += line.rfind("f ", 0) == 0;
  EXPECT_TRUE(faces > 100 && 3 * faces < 65000) << faces;
}

}  // namespace
}  // namespace vantrels
