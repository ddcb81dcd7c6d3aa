#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vantrels::testing {

// A fresh folder below the system's temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::filesystem::path &path() const { return path_; }

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path &file, std::string_view content);

// The 8 bytes every PNG file starts with.
std::string PngSignature();

// A minimal valid model: one triangle, material "vantrel.mtl", texture "vantrel.png".
extern const char *const kTriangleObj;
extern const char *const kTriangleMtl;

// Model folder of `driverFolder`: resources/rendermodels/vantrel.
std::filesystem::path ModelFolder(const std::filesystem::path &driverFolder);

// Lays out the minimal valid model below `driverFolder`; returns the model folder.
std::filesystem::path WriteValidModel(const std::filesystem::path &driverFolder);

// Writes `objText` to a temporary file and checks it; `materialLibrary` receives the name found.
std::string CheckObjText(std::string_view objText, std::string *materialLibrary = nullptr);

}  // namespace vantrels::testing
