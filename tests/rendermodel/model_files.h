#pragma once

// Model files for the checks: a minimal valid model and the folders it lives in.

#include <filesystem>
#include <string>
#include <string_view>

#include "rendermodel/obj_check.h"
#include "support/temp_dir.h"

namespace vantrels::testing {

// One triangle, material "vantrel.mtl", texture "vantrel.png".
inline const std::string kTriangleObj =
    "mtllib vantrel.mtl\no puck\nv 0 0 0\nv 0.01 0 0\nv 0 0.01 0\nvt 0 0\nvt 1 0\nvt 0 1\nvn 0 0 1\n"
    "usemtl body\nf 1/1/1 2/2/1 3/3/1\n";
inline const std::string kTriangleMtl = "newmtl body\nKd 1 1 1\nmap_Kd vantrel.png\n";
inline const std::string kPngSignature("\x89PNG\r\n\x1a\n", 8);

inline std::filesystem::path ModelFolder(const std::filesystem::path &driverFolder) {
  return driverFolder / "resources" / "rendermodels" / "vantrel";
}

// Lays out the minimal valid model below `driverFolder`; returns the model folder.
inline std::filesystem::path WriteValidModel(const std::filesystem::path &driverFolder) {
  const std::filesystem::path folder = ModelFolder(driverFolder);
  WriteFile(folder / "vantrel.obj", kTriangleObj);
  WriteFile(folder / "vantrel.mtl", kTriangleMtl);
  WriteFile(folder / "vantrel.png", kPngSignature + "rest of the image");
  return folder;
}

inline std::string Utf8(const std::filesystem::path &path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// Writes `objText` to a temporary file and checks it; `materialLibrary` receives the name found.
inline std::string CheckObjText(std::string_view objText, std::string *materialLibrary = nullptr) {
  TempDir dir;
  WriteFile(dir.path() / "model.obj", objText);
  std::string name;
  std::string reason = CheckObjFile(dir.path() / "model.obj", name);
  if (materialLibrary != nullptr) *materialLibrary = name;
  return reason;
}

}  // namespace vantrels::testing
