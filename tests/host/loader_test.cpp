// Loading a driver folder: every way a folder can be broken gives a message, never a crash.
#include <gtest/gtest.h>

#include <cstring>

#include "host_test_support.h"

namespace vantrels::host::test {
namespace {

TEST(LoadedDriverTest, BrokenFoldersAreReportedClearly) {
  const auto root = FreshTempDir("loader");
  std::filesystem::create_directories(root / "nomanifest");
  WriteFile(root / "junk/bin/linux64/driver_junk.so", "not an ELF file");
  std::filesystem::create_directories(root / "noexp/bin/linux64");
  std::filesystem::copy_file(FAKE_NOEXPORT_LIB, root / "noexp/bin/linux64/driver_noexp.so");
  // Folder, manifest text (none: not written), expected message.
  const struct {
    const char *folder, *manifest, *message;
  } cases[] = {
      {"absent", nullptr, "driver folder not found"},
      {"nomanifest", nullptr, "no driver.vrdrivermanifest"},
      {"garbage", "{ this is not json", "is not a JSON object"},
      {"noname", R"({"directory": ""})", "no usable \"name\""},
      {"numbername", R"({"name": 7})", "no usable \"name\""},
      {"escape", R"({"name": "../escape"})", "no usable \"name\""},  // a name must not leave the folder
      {"ghost", R"({"name": "ghost"})", "driver library not found"},
      {"junk", R"({"name": "junk"})", "cannot load"},
      {"noexp", R"({"name": "noexp"})", "does not export HmdDriverFactory"},
  };
  for (const auto &c : cases) {
    if (c.manifest) WriteFile(root / c.folder / "driver.vrdrivermanifest", c.manifest);
    std::string error;
    EXPECT_EQ(LoadedDriver::Load(root / c.folder, error), nullptr) << c.folder;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.folder << ": " << error;
  }
}

TEST(LoadedDriverTest, FactoryProviderAndRenamedFolder) {
  const auto root = FreshTempDir("loader_rename");
  std::filesystem::copy(FakeDriverDir(), root / "renamed", std::filesystem::copy_options::recursive);
  std::string error;
  auto driver = LoadedDriver::Load(root / "renamed", error);
  ASSERT_NE(driver, nullptr) << error;
  ASSERT_EQ(driver->Warnings().size(), 1u);  // folder name differs from the manifest's name
  EXPECT_NE(driver->Warnings()[0].find("renamed"), std::string::npos);

  int code = 0;
  EXPECT_EQ(driver->Factory("IVRWatchdogProvider_001", &code), nullptr);
  EXPECT_EQ(code, vr::VRInitError_Init_InterfaceNotFound);
  EXPECT_EQ(driver->Factory("IVRWatchdogProvider_001", nullptr), nullptr);
  vr::IServerTrackedDeviceProvider *first = driver->Provider(error);
  ASSERT_NE(first, nullptr) << error;
  EXPECT_EQ(driver->Provider(error), first);  // one provider per load, however often asked
}

TEST(SubstituteHostTest, DriverManagerAndResourcesNameTheDriver) {
  FakeSession session;
  ASSERT_EQ(session.init, vr::VRInitError_None);
  auto *manager = Interface<vr::IVRDriverManager>(*session.host, vr::IVRDriverManager_Version);
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(manager->GetDriverCount(), 1u);
  char name[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(manager->GetDriverName(0, name, sizeof name), 8u);  // "fakedrv" + NUL
  EXPECT_STREQ(name, "fak");
  EXPECT_NE(manager->GetDriverHandle("fakedrv"), 0u);
  EXPECT_EQ(manager->GetDriverHandle("other"), 0u);
  EXPECT_EQ(manager->GetDriverHandle(nullptr), 0u);

  auto *resources = Interface<vr::IVRResources>(*session.host, vr::IVRResources_Version);
  ASSERT_NE(resources, nullptr);
  char path[512];
  const uint32_t needed =
      resources->GetResourceFullPath("{fakedrv}/settings/default.vrsettings", "", path, sizeof path);
  EXPECT_EQ(std::filesystem::path(path), FakeDriverDir() / "resources/settings/default.vrsettings");
  EXPECT_EQ(needed, std::strlen(path) + 1);
  EXPECT_EQ(resources->GetResourceFullPath("{fakedrv}/nothing/here", "", path, sizeof path), 0u);
  EXPECT_EQ(resources->GetResourceFullPath(nullptr, nullptr, nullptr, 0), 0u);
}

}  // namespace
}  // namespace vantrels::host::test
