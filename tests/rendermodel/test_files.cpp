#include "test_files.h"

#include <stdlib.h>
#include <stdexcept>

#include <fstream>
#include <system_error>

#include "rendermodel/obj_check.h"

namespace vantrels::testing {

const char *const kTriangleObj =
    "mtllib vantrel.mtl\n"
    "o puck\n"
    "v 0 0 0\nv 0.01 0 0\nv 0 0.01 0\n"
    "vt 0 0\nvt 1 0\nvt 0 1\n"
    "vn 0 0 1\n"
    "usemtl body\n"
    "f 1/1/1 2/2/1 3/3/1\n";

const char *const kTriangleMtl = "newmtl body\nKd 1 1 1\nmap_Kd vantrel.png\n";

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vantrels-model-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void WriteFile(const std::filesystem::path &file, std::string_view content) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("can't write " + file.string());
}

std::string PngSignature() {
  return std::string("\x89PNG\r\n\x1a\n", 8);
}

std::filesystem::path ModelFolder(const std::filesystem::path &driverFolder) {
  return driverFolder / "resources" / "rendermodels" / "vantrel";
}

std::filesystem::path WriteValidModel(const std::filesystem::path &driverFolder) {
  const std::filesystem::path folder = ModelFolder(driverFolder);
  WriteFile(folder / "vantrel.obj", kTriangleObj);
  WriteFile(folder / "vantrel.mtl", kTriangleMtl);
  WriteFile(folder / "vantrel.png", PngSignature() + "rest of the image");
  return folder;
}

std::string CheckObjText(std::string_view objText, std::string *materialLibrary) {
  TempDir dir;
  WriteFile(dir.path() / "model.obj", objText);
  std::string name;
  std::string reason = CheckObjFile(dir.path() / "model.obj", name);
  if (materialLibrary != nullptr) *materialLibrary = name;
  return reason;
}

}  // namespace vantrels::testing
