// The settings store: defaults file, command line overrides, and IVRSettings as a driver sees it.
#include <gtest/gtest.h>

#include <cstring>

#include "host_test_support.h"

namespace vantrels::host::test {
namespace {

constexpr auto kGarbage = vr::VRSettingsError_AccessDenied;  // never answered by the host

TEST(SettingsTest, DefaultsFileIsLoadedAndBrokenOnesRejected) {
  SubstituteHost host;
  std::string error;
  ASSERT_TRUE(host.LoadDefaultSettings(FakeDriverDir() / "resources/settings/default.vrsettings", error)) << error;
  EXPECT_EQ(host.Setting("driver_fakedrv", "port"), nlohmann::json(21110));
  EXPECT_EQ(host.Setting("driver_fakedrv", "enable"), nlohmann::json(true));
  EXPECT_FALSE(host.Setting("driver_fakedrv", "absent").has_value());

  const auto dir = FreshTempDir("settings");
  WriteFile(dir / "bad.vrsettings", "{\"driver_x\": ");
  EXPECT_FALSE(host.LoadDefaultSettings(dir / "bad.vrsettings", error));
  EXPECT_FALSE(host.LoadDefaultSettings(dir / "missing.vrsettings", error));
  EXPECT_NE(error.find("missing.vrsettings"), std::string::npos);
}

TEST(SettingsTest, SetOptionParsesValuesAsJsonOrText) {
  SubstituteHost host;
  std::string error;
  ASSERT_TRUE(host.ApplySetOption("driver_vantrels.port=21111", error));
  EXPECT_EQ(host.Setting("driver_vantrels", "port"), nlohmann::json(21111));
  ASSERT_TRUE(host.ApplySetOption("s.f=0.5", error));
  EXPECT_EQ(host.Setting("s", "f"), nlohmann::json(0.5));
  ASSERT_TRUE(host.ApplySetOption("s.b=false", error));
  EXPECT_EQ(host.Setting("s", "b"), nlohmann::json(false));
  ASSERT_TRUE(host.ApplySetOption("s.q=\"123\"", error));
  EXPECT_EQ(host.Setting("s", "q"), nlohmann::json("123"));
  ASSERT_TRUE(host.ApplySetOption("s.t={vantrels}vantrel", error));
  EXPECT_EQ(host.Setting("s", "t"), nlohmann::json("{vantrels}vantrel"));
  ASSERT_TRUE(host.ApplySetOption("s.arr=[1,2]", error));  // settings hold no arrays: plain text
  EXPECT_EQ(host.Setting("s", "arr"), nlohmann::json("[1,2]"));
  ASSERT_TRUE(host.ApplySetOption("s.empty=", error));
  EXPECT_EQ(host.Setting("s", "empty"), nlohmann::json(""));
  // The section ends at the first dot; the value may hold dots and equals signs.
  ASSERT_TRUE(host.ApplySetOption("trackers./devices/vantrels/a.b=x=y", error));
  EXPECT_EQ(host.Setting("trackers", "/devices/vantrels/a.b"), nlohmann::json("x=y"));

  for (const char *bad : {"noequals", "nodot=1", ".key=1", "section.=1", "=1"}) {
    error.clear();
    EXPECT_FALSE(host.ApplySetOption(bad, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(SettingsTest, ReadsAnswerAbsentWrongTypeAndPresentKeys) {
  SubstituteHost host;
  host.SetSetting("sec", "int", 42);
  host.SetSetting("sec", "float", 1.5);
  host.SetSetting("sec", "bool", true);
  host.SetSetting("sec", "text", "hello");
  host.SetSetting("sec", "huge", 1e10);
  host.SetSetting("sec", "bigint", int64_t{5'000'000'000});
  auto *settings = Interface<vr::IVRSettings>(host, vr::IVRSettings_Version);
  ASSERT_NE(settings, nullptr);

  vr::EVRSettingsError error = kGarbage;
  EXPECT_EQ(settings->GetInt32("sec", "int", &error), 42);
  EXPECT_EQ(error, vr::VRSettingsError_None);
  EXPECT_EQ(settings->GetFloat("sec", "int", &error), 42.0f);  // an integer is a number
  EXPECT_EQ(settings->GetFloat("sec", "float", &error), 1.5f);
  EXPECT_TRUE(settings->GetBool("sec", "bool", &error));

  error = kGarbage;
  EXPECT_EQ(settings->GetInt32("sec", "absent", &error), 0);
  EXPECT_EQ(error, vr::VRSettingsError_UnsetSettingHasNoDefault);
  error = kGarbage;
  EXPECT_FALSE(settings->GetBool("nosection", "absent", &error));
  EXPECT_EQ(error, vr::VRSettingsError_UnsetSettingHasNoDefault);
  error = kGarbage;
  EXPECT_EQ(settings->GetFloat("sec", "absent", &error), 0.0f);
  EXPECT_EQ(error, vr::VRSettingsError_UnsetSettingHasNoDefault);

  for (const char *key : {"float", "text", "huge", "bigint", "bool"}) {
    error = kGarbage;
    EXPECT_EQ(settings->GetInt32("sec", key, &error), 0) << key;
    EXPECT_EQ(error, vr::VRSettingsError_ReadFailed) << key;
  }
  error = kGarbage;
  EXPECT_FALSE(settings->GetBool("sec", "int", &error));
  EXPECT_EQ(error, vr::VRSettingsError_ReadFailed);
  error = kGarbage;
  EXPECT_EQ(settings->GetInt32(nullptr, "int", &error), 0);
  EXPECT_EQ(error, vr::VRSettingsError_ReadFailed);
  EXPECT_EQ(settings->GetInt32("sec", nullptr), 0);  // no error out-parameter: no crash

  ASSERT_GE(host.SettingAccesses().size(), 1u);
  EXPECT_EQ(host.SettingAccesses()[0].op, "GetInt32");
  EXPECT_EQ(host.SettingAccesses()[0].value, "42");
}

TEST(SettingsTest, GetStringStaysWithinTheBufferAndTerminates) {
  SubstituteHost host;
  host.SetSetting("sec", "text", "from-defaults");
  host.SetSetting("sec", "int", 5);
  auto *settings = Interface<vr::IVRSettings>(host, vr::IVRSettings_Version);

  char buffer[16];
  std::memset(buffer, 'X', sizeof buffer);
  vr::EVRSettingsError error = kGarbage;
  settings->GetString("sec", "text", buffer, 8, &error);
  EXPECT_EQ(error, vr::VRSettingsError_None);
  EXPECT_STREQ(buffer, "from-de");
  for (size_t i = 8; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 'X') << i;

  std::memset(buffer, 'X', sizeof buffer);
  settings->GetString("sec", "text", buffer, sizeof buffer, &error);
  EXPECT_STREQ(buffer, "from-defaults");

  std::memset(buffer, 'X', sizeof buffer);
  settings->GetString("sec", "absent", buffer, sizeof buffer, &error);
  EXPECT_EQ(error, vr::VRSettingsError_UnsetSettingHasNoDefault);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], 'X');

  settings->GetString("sec", "int", buffer, sizeof buffer, &error);
  EXPECT_EQ(error, vr::VRSettingsError_ReadFailed);
  EXPECT_EQ(buffer[0], '\0');

  std::memset(buffer, 'X', sizeof buffer);
  settings->GetString("sec", "text", buffer, 0, &error);  // size 0: not a byte written
  EXPECT_EQ(buffer[0], 'X');
  settings->GetString("sec", "text", nullptr, 0, &error);
  settings->GetString("sec", "text", buffer, 1, nullptr);
  EXPECT_EQ(buffer[0], '\0');
}

TEST(SettingsTest, WritesAreStoredAndRecorded) {
  SubstituteHost host;
  auto *settings = Interface<vr::IVRSettings>(host, vr::IVRSettings_Version);
  vr::EVRSettingsError error = kGarbage;
  settings->SetString("trackers", "/devices/vantrels/VT-1", "TrackerRole_Waist", &error);
  EXPECT_EQ(error, vr::VRSettingsError_None);
  settings->SetString("trackers", "/devices/vantrels/VT-2", "TrackerRole_Chest");  // no error out-parameter
  settings->SetInt32("sec", "i", -3, &error);
  settings->SetBool("sec", "b", true, &error);
  settings->SetFloat("sec", "f", 0.25f, &error);
  EXPECT_EQ(host.Setting("trackers", "/devices/vantrels/VT-1"), nlohmann::json("TrackerRole_Waist"));
  EXPECT_EQ(host.Setting("trackers", "/devices/vantrels/VT-2"), nlohmann::json("TrackerRole_Chest"));
  EXPECT_EQ(settings->GetInt32("sec", "i", &error), -3);
  EXPECT_EQ(settings->GetFloat("sec", "f", &error), 0.25f);

  error = kGarbage;
  settings->SetString("sec", "s", nullptr, &error);
  EXPECT_EQ(error, vr::VRSettingsError_WriteFailed);
  settings->SetInt32(nullptr, nullptr, 1, &error);
  EXPECT_EQ(error, vr::VRSettingsError_WriteFailed);

  settings->RemoveKeyInSection("sec", "i", &error);
  EXPECT_EQ(error, vr::VRSettingsError_None);
  EXPECT_FALSE(host.Setting("sec", "i").has_value());
  settings->RemoveSection("trackers", &error);
  EXPECT_FALSE(host.Setting("trackers", "/devices/vantrels/VT-1").has_value());
  settings->RemoveSection(nullptr, nullptr);

  const auto &access = host.SettingAccesses();
  ASSERT_GE(access.size(), 2u);
  EXPECT_EQ(access[0].op, "SetString");
  EXPECT_EQ(access[0].section, "trackers");
  EXPECT_EQ(access[0].key, "/devices/vantrels/VT-1");
  EXPECT_EQ(access[0].value, "TrackerRole_Waist");
  EXPECT_STREQ(settings->GetSettingsErrorNameFromEnum(vr::VRSettingsError_UnsetSettingHasNoDefault),
               "VRSettingsError_UnsetSettingHasNoDefault");
}

}  // namespace
}  // namespace vantrels::host::test
