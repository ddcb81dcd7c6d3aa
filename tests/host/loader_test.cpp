// Loading a driver folder: every way a folder can be broken gives a message, never a crash.
#include <gtest/gtest.h>

#include <cstring>

#include "host_test_support.h"

namespace vantrels::host::test {
namespace {

std::string LoadError(const std::filesystem::path &dir) {
  std::string error;
  auto driver = LoadedDriver::Load(dir, error);
  EXPECT_EQ(driver, nullptr);
  return error;
}

TEST(LoadedDriverTest, BrokenFoldersAreReportedClearly) {
  const auto root = FreshTempDir("loader");
  EXPECT_NE(LoadError(root / "absent").find("driver folder not found"), std::string::npos);

  std::filesystem::create_directories(root / "nomanifest");
  EXPECT_NE(LoadError(root / "nomanifest").find("no driver.vrdrivermanifest"), std::string::npos);

  WriteFile(root / "garbage/driver.vrdrivermanifest", "{ this is not json");
  EXPECT_NE(LoadError(root / "garbage").find("is not a JSON object"), std::string::npos);

  WriteFile(root / "noname/driver.vrdrivermanifest", R"({"directory": ""})");
  EXPECT_NE(LoadError(root / "noname").find("no usable \"name\""), std::string::npos);

  WriteFile(root / "numbername/driver.vrdrivermanifest", R"({"name": 7})");
  EXPECT_NE(LoadError(root / "numbername").find("no usable \"name\""), std::string::npos);

  // A name is one path component: it must not walk out of the folder.
  WriteFile(root / "escape/driver.vrdrivermanifest", R"({"name": "../escape"})");
  EXPECT_NE(LoadError(root / "escape").find("no usable \"name\""), std::string::npos);

  WriteFile(root / "ghost/driver.vrdrivermanifest", R"({"name": "ghost"})");
  EXPECT_NE(LoadError(root / "ghost").find("driver library not found"), std::string::npos);

  WriteFile(root / "junk/driver.vrdrivermanifest", R"({"name": "junk"})");
  WriteFile(root / "junk/bin/linux64/driver_junk.so", "not an ELF file");
  EXPECT_NE(LoadError(root / "junk").find("cannot load"), std::string::npos);

  WriteFile(root / "noexp/driver.vrdrivermanifest", R"({"name": "noexp"})");
  std::filesystem::create_directories(root / "noexp/bin/linux64");
  std::filesystem::copy_file(FAKE_NOEXPORT_LIB, root / "noexp/bin/linux64/driver_noexp.so");
  EXPECT_NE(LoadError(root / "noexp").find("does not export HmdDriverFactory"), std::string::npos);
}

TEST(LoadedDriverTest, FactoryHandsOutTheProviderOnly) {
  std::string error;
  auto driver = LoadedDriver::Load(FakeDriverDir(), error);
  ASSERT_NE(driver, nullptr) << error;
  EXPECT_EQ(driver->Name(), "fakedrv");
  EXPECT_EQ(driver->LibraryPath(), FakeDriverDir() / "bin/linux64/driver_fakedrv.so");
  EXPECT_TRUE(driver->Warnings().empty());

  int code = 0;
  EXPECT_EQ(driver->Factory("IVRWatchdogProvider_001", &code), nullptr);
  EXPECT_EQ(code, vr::VRInitError_Init_InterfaceNotFound);
  EXPECT_EQ(driver->Factory("IVRWatchdogProvider_001", nullptr), nullptr);  // no return code wanted

  vr::IServerTrackedDeviceProvider *first = driver->Provider(error);
  ASSERT_NE(first, nullptr) << error;
  EXPECT_EQ(driver->Provider(error), first);  // one provider per load, however often asked
}

TEST(LoadedDriverTest, FolderNameDifferentFromManifestNameWarns) {
  const auto root = FreshTempDir("loader_rename");
  std::filesystem::copy(FakeDriverDir(), root / "renamed", std::filesystem::copy_options::recursive);
  std::string error;
  auto driver = LoadedDriver::Load(root / "renamed", error);
  ASSERT_NE(driver, nullptr) << error;
  ASSERT_EQ(driver->Warnings().size(), 1u);
  EXPECT_NE(driver->Warnings()[0].find("renamed"), std::string::npos);
}

TEST(SubstituteHostTest, ProviderCallIsRecordedAndNamesTheDriver) {
  FakeSession session;
  ASSERT_EQ(session.init, vr::VRInitError_None);
  const auto &calls = session.host->CallNames();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0], "HmdDriverFactory");
  EXPECT_EQ(calls[1], "GetInterfaceVersions");
  EXPECT_EQ(calls[2], "Init");

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
