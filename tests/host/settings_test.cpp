// The settings store: defaults file, command line overrides, and IVRSettings as a driver sees it.
#include <gtest/gtest.h>

#include <cstring>

#include "host_test_support.h"

namespace vantrels::host::test {
namespace {

constexpr auto kGarbage = vr::VRSettingsError_AccessDenied;  // never answered by the host

TEST(SettingsTest, DefaultsFileAndSetOptions) {
  SubstituteHost host;
  std::string error;
  ASSERT_TRUE(host.LoadDefaultSettings(FakeDriverDir() / "resources/settings/default.vrsettings", error)) << error;
  EXPECT_EQ(host.Setting("driver_fakedrv", "port"), nlohmann::json(21110));
  const auto dir = FreshTempDir("settings");
  WriteFile(dir / "bad.vrsettings", "{\"driver_x\": ");
  EXPECT_FALSE(host.LoadDefaultSettings(dir / "bad.vrsettings", error));
  EXPECT_FALSE(host.LoadDefaultSettings(dir / "missing.vrsettings", error));
  EXPECT_NE(error.find("missing.vrsettings"), std::string::npos);

  // Values are JSON where they parse as a scalar, text otherwise; the section ends at the first
  // dot and the value may hold dots and equals signs.
  const struct {
    const char *option, *section, *key;
    nlohmann::json value;
  } good[] = {
      {"driver_fakedrv.port=21111", "driver_fakedrv", "port", 21111},
      {"s.f=0.5", "s", "f", 0.5},
      {"s.b=false", "s", "b", false},
      {"s.q=\"123\"", "s", "q", "123"},
      {"s.t={vantrels}vantrel", "s", "t", "{vantrels}vantrel"},
      {"s.arr=[1,2]", "s", "arr", "[1,2]"},  // settings hold no arrays
      {"s.empty=", "s", "empty", ""},
      {"trackers./devices/vantrels/a.b=x=y", "trackers", "/devices/vantrels/a.b", "x=y"},
  };
  for (const auto &g : good) {
    EXPECT_TRUE(host.ApplySetOption(g.option, error)) << g.option;
    EXPECT_EQ(host.Setting(g.section, g.key), g.value) << g.option;
  }
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

  vr::EVRSettingsError error = kGarbage;
  EXPECT_EQ(settings->GetInt32("sec", "int", &error), 42);
  EXPECT_EQ(error, vr::VRSettingsError_None);
  EXPECT_EQ(settings->GetFloat("sec", "int", &error), 42.0f);  // an integer is a number
  EXPECT_EQ(settings->GetFloat("sec", "float", &error), 1.5f);
  EXPECT_TRUE(settings->GetBool("sec", "bool", &error));

  const auto expectError = [&](auto read, const char *section, const char *key, vr::EVRSettingsError expected) {
    error = kGarbage;
    EXPECT_FALSE(read(section, key)) << key;
    EXPECT_EQ(error, expected) << key;
  };
  const auto getInt = [&](const char *s, const char *k) { return settings->GetInt32(s, k, &error) != 0; };
  const auto getBool = [&](const char *s, const char *k) { return settings->GetBool(s, k, &error); };
  const auto getFloat = [&](const char *s, const char *k) { return settings->GetFloat(s, k, &error) != 0.0f; };
  expectError(getInt, "sec", "absent", vr::VRSettingsError_UnsetSettingHasNoDefault);
  expectError(getBool, "nosection", "absent", vr::VRSettingsError_UnsetSettingHasNoDefault);
  expectError(getFloat, "sec", "absent", vr::VRSettingsError_UnsetSettingHasNoDefault);
  for (const char *key : {"float", "text", "huge", "bigint", "bool"}) {
    expectError(getInt, "sec", key, vr::VRSettingsError_ReadFailed);
  }
  expectError(getBool, "sec", "int", vr::VRSettingsError_ReadFailed);
  expectError(getInt, nullptr, "int", vr::VRSettingsError_ReadFailed);
  EXPECT_EQ(settings->GetInt32("sec", nullptr), 0);  // no error out-parameter: no crash
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
  settings->SetFloat("sec", "f", 0.25f, &error);
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

  const auto &first = host.SettingAccesses().at(0);
  EXPECT_EQ(first.op + " " + first.section + " " + first.key + " " + first.value,
            "SetString trackers /devices/vantrels/VT-1 TrackerRole_Waist");
}

}  // namespace
}  // namespace vantrels::host::test
