// FindDriverFolder as the driver module sees it: a copy of a small loadable library, placed in
// bin/linux64 of a temporary driver folder and loaded from there.

#include "rendermodel/driver_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "host/driver_library.h"
#include "model_files.h"

namespace vantrels {
namespace {

using testing::TempDir;
using testing::Utf8;
using testing::WriteFile;

constexpr const char *kManifest = "driver.vrdrivermanifest";

// Copies the probe library to `libraryFile`, loads it under `loadName` and asks it for its folder.
std::string FolderSeenFrom(const std::filesystem::path &libraryFile, const std::filesystem::path &loadName) {
  std::filesystem::create_directories(libraryFile.parent_path());
  std::filesystem::copy_file(VANTRELS_PROBE_MODULE, libraryFile, std::filesystem::copy_options::overwrite_existing);
  std::string error;
  void *handle = host::OpenLibrary(loadName, error);
  if (handle == nullptr) {
    ADD_FAILURE() << error;
    return "<not loaded>";
  }
  std::string folder = "<no symbol>";
  if (auto probe = reinterpret_cast<const char *(*)()>(host::LibrarySymbol(handle, "ProbeFindDriverFolder"))) {
    folder = probe();
  }
  host::CloseLibrary(handle);
  return folder;
}

std::string FolderSeenFrom(const std::filesystem::path &libraryFile) {
  return FolderSeenFrom(libraryFile, libraryFile);
}

// Where the manifest lies (relative to a folder R), where the library is, and the answer.
TEST(FindDriverFolder, ManifestExactlyTwoFoldersAboveTheLibrarysFolder) {
  const struct {
    std::vector<std::string> manifests;  // files named like the manifest; a trailing '/' makes a folder
    std::string link;                    // a link named like the manifest in R, to this entry below the temp dir
    std::string library;
    bool found;
  } cases[] = {
      {{"R/driver.vrdrivermanifest"}, "", "R/bin/linux64/driver_vantrels.so", true},
      {{}, "", "R/bin/linux64/driver_vantrels.so", false},
      {{"driver.vrdrivermanifest", "R/bin/driver.vrdrivermanifest", "R/bin/linux64/driver.vrdrivermanifest"},
       "",
       "R/bin/linux64/a.so",
       false},
      {{"R/driver.vrdrivermanifest/"}, "", "R/bin/linux64/d.so", true},  // any kind of entry counts
      {{"real.manifest"}, "real.manifest", "R/bin/linux64/d.so", true},  // a link to a file
      {{}, "nothing", "R/bin/linux64/d.so", false},                      // a dangling link does not
  };
  for (const auto &c : cases) {
#if defined(_WIN32)
    if (!c.link.empty()) continue;  // no symbolic links for ordinary users
#endif
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "R");
    for (const std::string &m : c.manifests) {
      if (m.back() == '/') {
        std::filesystem::create_directories(dir.path() / m);
      } else {
        WriteFile(dir.path() / m, "{}");
      }
    }
    if (!c.link.empty()) std::filesystem::create_symlink(dir.path() / c.link, dir.path() / "R" / kManifest);
    EXPECT_EQ(FolderSeenFrom(dir.path() / c.library), c.found ? Utf8(dir.path() / "R") : "") << c.library;
  }
}

TEST(FindDriverFolder, NonAsciiFolderComesBackAsUtf8) {
  TempDir dir;
  const std::string name = "Señal-ñandú-驱动";
  const std::filesystem::path root = dir.path() / std::filesystem::path(std::u8string(name.begin(), name.end()));
  WriteFile(root / kManifest, "{}");
  EXPECT_EQ(FolderSeenFrom(root / "bin" / "linux64" / "driver_vantrels.so"),
            Utf8(dir.path()) + static_cast<char>(std::filesystem::path::preferred_separator) + name);
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

}  // namespace
}  // namespace vantrels
