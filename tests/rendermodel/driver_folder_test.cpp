// FindDriverFolder as the driver module sees it: a copy of a small loadable library, placed in
// bin/linux64 of a temporary driver folder and loaded from there.

#include "rendermodel/driver_folder.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "test_files.h"

namespace vantrels {
namespace {

using testing::TempDir;
using testing::WriteFile;

constexpr const char *kManifest = "driver.vrdrivermanifest";

std::string Utf8(const std::filesystem::path &path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// Copies the probe library to `libraryFile`, loads it under `loadName` and asks it for its folder.
std::string FolderSeenFrom(const std::filesystem::path &libraryFile, const std::string &loadName) {
  std::filesystem::create_directories(libraryFile.parent_path());
  std::filesystem::copy_file(VANTRELS_PROBE_MODULE, libraryFile, std::filesystem::copy_options::overwrite_existing);
  void *handle = dlopen(loadName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    ADD_FAILURE() << dlerror();
    return "<not loaded>";
  }
  std::string folder = "<no symbol>";
  if (auto probe = reinterpret_cast<const char *(*)()>(dlsym(handle, "ProbeFindDriverFolder"))) folder = probe();
  dlclose(handle);
  return folder;
}

std::string FolderSeenFrom(const std::filesystem::path &libraryFile) {
  return FolderSeenFrom(libraryFile, libraryFile.string());
}

TEST(FindDriverFolder, ManifestTwoFoldersAboveTheLibrary) {
  TempDir dir;
  const std::filesystem::path root = dir.path() / "vantrels";
  WriteFile(root / kManifest, "{}");
  EXPECT_EQ(FolderSeenFrom(root / "bin" / "linux64" / "driver_vantrels.so"), Utf8(root));
}

TEST(FindDriverFolder, OnlyThatOneLevelCounts) {
  TempDir dir;
  const std::filesystem::path root = dir.path() / "r";
  const std::filesystem::path library = root / "bin" / "linux64" / "driver_vantrels.so";
  EXPECT_EQ(FolderSeenFrom(library), "");
  WriteFile(dir.path() / kManifest, "{}");                // one level too high
  WriteFile(root / "bin" / kManifest, "{}");              // one level too low
  WriteFile(root / "bin" / "linux64" / kManifest, "{}");  // beside the library
  EXPECT_EQ(FolderSeenFrom(root / "bin" / "linux64" / "a.so"), "");
}

TEST(FindDriverFolder, AnyKindOfEntryCountsWhenItExists) {
  TempDir dir;
  const std::filesystem::path folderMarker = dir.path() / "f";
  std::filesystem::create_directories(folderMarker / kManifest);
  EXPECT_EQ(FolderSeenFrom(folderMarker / "bin" / "linux64" / "d.so"), Utf8(folderMarker));

  const std::filesystem::path linked = dir.path() / "l";
  WriteFile(dir.path() / "real.manifest", "{}");
  std::filesystem::create_directories(linked);
  std::filesystem::create_symlink(dir.path() / "real.manifest", linked / kManifest);
  EXPECT_EQ(FolderSeenFrom(linked / "bin" / "linux64" / "d.so"), Utf8(linked));

  const std::filesystem::path dangling = dir.path() / "d";
  std::filesystem::create_directories(dangling);
  std::filesystem::create_symlink(dir.path() / "nothing", dangling / kManifest);
  EXPECT_EQ(FolderSeenFrom(dangling / "bin" / "linux64" / "d.so"), "");
}

TEST(FindDriverFolder, NonAsciiFolderComesBackAsUtf8) {
  TempDir dir;
  const std::string name = "Señal-ñandú-驱动";
  const std::filesystem::path root = dir.path() / std::filesystem::path(std::u8string(name.begin(), name.end()));
  WriteFile(root / kManifest, "{}");
  EXPECT_EQ(FolderSeenFrom(root / "bin" / "linux64" / "driver_vantrels.so"), Utf8(dir.path()) + "/" + name);
}

TEST(FindDriverFolder, LibraryLoadedThroughARelativePath) {
  TempDir dir;
  const std::filesystem::path root = dir.path() / "rel";
  WriteFile(root / kManifest, "{}");
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const std::string folder = FolderSeenFrom(root / "bin" / "linux64" / "x.so", "./rel/bin/linux64/x.so");
  std::filesystem::current_path(previous);
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(std::filesystem::path(folder).is_absolute()) << folder;
  EXPECT_TRUE(std::filesystem::equivalent(folder, root)) << folder;
}

TEST(FindDriverFolder, FromTheTestProgramItselfFindsNothing) {
  // The test executable lies in build/<dir>/tests, two folders below build/, which holds no manifest.
  EXPECT_EQ(FindDriverFolder(), "");
}

}  // namespace
}  // namespace vantrels
