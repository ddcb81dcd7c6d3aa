// IVRProperties as the SDK's helpers use it: every result field written, buffers respected,
// values copied, typed lookups for tests.
#include <gtest/gtest.h>

#include <cstring>

#include "host_test_support.h"

namespace vantrels::host::test {
namespace {

constexpr auto kGarbageError = vr::TrackedProp_OutOfMemory;  // never answered by the host

vr::PropertyRead_t GarbageRead(vr::ETrackedDeviceProperty prop, void *buffer, uint32_t size) {
  vr::PropertyRead_t read;
  std::memset(&read, 0xA5, sizeof read);
  read.prop = prop;
  read.pvBuffer = buffer;
  read.unBufferSize = size;
  return read;
}

struct PropertiesFixture : ::testing::Test {
  PropertiesFixture() {
    HostOptions options;
    options.controllers = 10;
    options.activation = HostOptions::Activation::Never;
    host = std::make_unique<SubstituteHost>(options);
    props = Interface<vr::IVRProperties>(*host, vr::IVRProperties_Version);
    server = Interface<vr::IVRServerDriverHost>(*host, vr::IVRServerDriverHost_Version);
  }
  std::unique_ptr<SubstituteHost> host;
  vr::IVRProperties *props = nullptr;
  vr::IVRServerDriverHost *server = nullptr;
};

TEST_F(PropertiesFixture, HostDevicesCarryClassAndRoleHint) {
  vr::CVRPropertyHelpers helper(props);
  vr::ETrackedPropertyError error = kGarbageError;
  EXPECT_EQ(helper.GetInt32Property(helper.TrackedDeviceToPropertyContainer(0), vr::Prop_DeviceClass_Int32, &error),
            vr::TrackedDeviceClass_HMD);
  EXPECT_EQ(error, vr::TrackedProp_Success);
  const int32_t expectedRoles[] = {1, 2, 1, 2, 0, 2, 1, 2, 1, 4};
  for (uint32_t i = 1; i <= 10; ++i) {
    const auto c = helper.TrackedDeviceToPropertyContainer(i);
    EXPECT_EQ(helper.GetInt32Property(c, vr::Prop_DeviceClass_Int32, &error), vr::TrackedDeviceClass_Controller);
    EXPECT_EQ(helper.GetInt32Property(c, vr::Prop_ControllerRoleHint_Int32, &error), expectedRoles[i - 1]) << i;
    EXPECT_EQ(error, vr::TrackedProp_Success);
  }
  host->SetControllerRoleHint(1, vr::TrackedControllerRole_RightHand);
  EXPECT_EQ(helper.GetInt32Property(helper.TrackedDeviceToPropertyContainer(1), vr::Prop_ControllerRoleHint_Int32),
            vr::TrackedControllerRole_RightHand);
  // Reading an int32 as a float: the helper turns the tag mismatch into WrongDataType.
  helper.GetFloatProperty(helper.TrackedDeviceToPropertyContainer(1), vr::Prop_ControllerRoleHint_Int32, &error);
  EXPECT_EQ(error, vr::TrackedProp_WrongDataType);
}

TEST_F(PropertiesFixture, ContainerHandlesAreNeverTheInvalidHandle) {
  EXPECT_EQ(props->TrackedDeviceToPropertyContainer(0), 1u);
  EXPECT_EQ(props->TrackedDeviceToPropertyContainer(40), 41u);
  EXPECT_NE(props->TrackedDeviceToPropertyContainer(vr::k_unTrackedDeviceIndexInvalid),
            vr::k_ulInvalidPropertyContainer);
}

TEST_F(PropertiesFixture, FailedReadsWriteEveryResultField) {
  int32_t value = 0;
  vr::PropertyRead_t read = GarbageRead(vr::Prop_ModelNumber_String, &value, 4);  // controller has no model
  EXPECT_EQ(props->ReadPropertyBatch(props->TrackedDeviceToPropertyContainer(1), &read, 1),
            vr::TrackedProp_UnknownProperty);
  EXPECT_EQ(read.eError, vr::TrackedProp_UnknownProperty);
  EXPECT_EQ(read.unTag, vr::k_unInvalidPropertyTag);
  EXPECT_EQ(read.unRequiredBufferSize, 0u);

  read = GarbageRead(vr::Prop_DeviceClass_Int32, &value, 4);
  props->ReadPropertyBatch(props->TrackedDeviceToPropertyContainer(30), &read, 1);  // no device at 30
  EXPECT_EQ(read.eError, vr::TrackedProp_InvalidDevice);
  EXPECT_EQ(read.unTag, vr::k_unInvalidPropertyTag);
  EXPECT_EQ(read.unRequiredBufferSize, 0u);

  read = GarbageRead(vr::Prop_DeviceClass_Int32, &value, 4);
  props->ReadPropertyBatch(vr::k_ulInvalidPropertyContainer, &read, 1);
  EXPECT_EQ(read.eError, vr::TrackedProp_InvalidContainer);

  read = GarbageRead(vr::Prop_DeviceClass_Int32, &value, 4);
  props->ReadPropertyBatch(props->TrackedDeviceToPropertyContainer(vr::k_unTrackedDeviceIndexInvalid), &read, 1);
  EXPECT_EQ(read.eError, vr::TrackedProp_InvalidDevice);
  EXPECT_EQ(host->PropertyReads().size(), 4u);

  EXPECT_NE(props->ReadPropertyBatch(1, nullptr, 3), vr::TrackedProp_Success);  // no batch: no crash
}

TEST_F(PropertiesFixture, ReadsHonourTheCallersBufferSize) {
  char buffer[16];
  std::memset(buffer, 'X', sizeof buffer);
  vr::PropertyRead_t read = GarbageRead(vr::Prop_SerialNumber_String, buffer, 4);  // "HOST-CTRL-1"
  props->ReadPropertyBatch(props->TrackedDeviceToPropertyContainer(1), &read, 1);
  EXPECT_EQ(read.eError, vr::TrackedProp_BufferTooSmall);
  EXPECT_EQ(read.unTag, vr::k_unStringPropertyTag);
  EXPECT_EQ(read.unRequiredBufferSize, 12u);
  for (char c : buffer) EXPECT_EQ(c, 'X');

  read = GarbageRead(vr::Prop_SerialNumber_String, buffer, sizeof buffer);
  EXPECT_EQ(props->ReadPropertyBatch(props->TrackedDeviceToPropertyContainer(1), &read, 1), vr::TrackedProp_Success);
  EXPECT_STREQ(buffer, "HOST-CTRL-1");
  EXPECT_EQ(buffer[12], 'X');
  EXPECT_EQ(host->PropertyReads().back().bufferSize, sizeof buffer);
}

TEST_F(PropertiesFixture, WritesAreCopiedAnsweredAndRecorded) {
  StubDevice device;
  ASSERT_TRUE(server->TrackedDeviceAdded("VT-1", vr::TrackedDeviceClass_GenericTracker, &device));
  const uint32_t index = host->Announcements().back().deviceIndex;
  EXPECT_EQ(index, 11u);
  const auto container = props->TrackedDeviceToPropertyContainer(index);

  char text[32] = "{vantrels}vantrel";
  vr::PropertyWrite_t writes[2];
  std::memset(writes, 0xA5, sizeof writes);
  writes[0].prop = vr::Prop_RenderModelName_String;
  writes[0].writeType = vr::PropertyWrite_Set;
  writes[0].pvBuffer = text;
  writes[0].unBufferSize = static_cast<uint32_t>(std::strlen(text) + 1);
  writes[0].unTag = vr::k_unStringPropertyTag;
  float battery = 0.5f;
  writes[1].prop = vr::Prop_DeviceBatteryPercentage_Float;
  writes[1].writeType = vr::PropertyWrite_Set;
  writes[1].pvBuffer = &battery;
  writes[1].unBufferSize = sizeof battery;
  writes[1].unTag = vr::k_unFloatPropertyTag;
  EXPECT_EQ(props->WritePropertyBatch(container, writes, 2), vr::TrackedProp_Success);
  for (const auto &w : writes) {
    EXPECT_EQ(w.eError, vr::TrackedProp_Success);
    EXPECT_EQ(w.eSetError, vr::TrackedProp_Success);
  }
  std::strcpy(text, "overwritten");  // the host kept its own copy
  battery = 0.0f;
  EXPECT_EQ(host->StringProperty(index, vr::Prop_RenderModelName_String), "{vantrels}vantrel");
  EXPECT_EQ(host->FloatProperty(index, vr::Prop_DeviceBatteryPercentage_Float), 0.5f);
  EXPECT_FALSE(host->Int32Property(index, vr::Prop_DeviceBatteryPercentage_Float).has_value());  // wrong type

  ASSERT_EQ(host->PropertyWrites().size(), 2u);
  const auto &recorded = host->PropertyWrites()[0];
  EXPECT_EQ(recorded.deviceIndex, index);
  EXPECT_EQ(recorded.prop, vr::Prop_RenderModelName_String);
  EXPECT_EQ(recorded.tag, vr::k_unStringPropertyTag);
  EXPECT_EQ(std::string(recorded.bytes.begin(), recorded.bytes.end()), std::string("{vantrels}vantrel", 18));

  // Through the SDK helper: eError comes back written, and a later read sees the value.
  vr::CVRPropertyHelpers helper(props);
  EXPECT_EQ(helper.SetBoolProperty(container, vr::Prop_DeviceProvidesBatteryStatus_Bool, true),
            vr::TrackedProp_Success);
  EXPECT_EQ(helper.SetInt32Property(container, vr::Prop_ControllerRoleHint_Int32, 3), vr::TrackedProp_Success);
  EXPECT_EQ(host->BoolProperty(index, vr::Prop_DeviceProvidesBatteryStatus_Bool), true);
  EXPECT_EQ(helper.GetInt32Property(container, vr::Prop_ControllerRoleHint_Int32), 3);
}

TEST_F(PropertiesFixture, BadWritesAreRefusedWithAnError) {
  StubDevice device;
  ASSERT_TRUE(server->TrackedDeviceAdded("VT-1", vr::TrackedDeviceClass_GenericTracker, &device));
  const auto container = props->TrackedDeviceToPropertyContainer(11);
  vr::CVRPropertyHelpers helper(props);

  EXPECT_EQ(helper.SetInt32Property(vr::k_ulInvalidPropertyContainer, vr::Prop_ControllerRoleHint_Int32, 1),
            vr::TrackedProp_InvalidContainer);
  EXPECT_EQ(helper.SetInt32Property(props->TrackedDeviceToPropertyContainer(50), vr::Prop_ControllerRoleHint_Int32, 1),
            vr::TrackedProp_InvalidDevice);
  int64_t wide = 7;
  EXPECT_EQ(helper.SetProperty(container, vr::Prop_ControllerRoleHint_Int32, &wide, 8, vr::k_unInt32PropertyTag),
            vr::TrackedProp_WrongDataType);
  EXPECT_EQ(helper.SetProperty(container, vr::Prop_ModelNumber_String, nullptr, 5, vr::k_unStringPropertyTag),
            vr::TrackedProp_InvalidOperation);
  EXPECT_FALSE(host->Int32Property(11, vr::Prop_ControllerRoleHint_Int32).has_value());
  EXPECT_FALSE(host->Anomalies().empty());

  // Erase removes; SetError makes reads fail with the given error.
  helper.SetStringProperty(container, vr::Prop_ModelNumber_String, "m");
  vr::PropertyWrite_t erase{};
  erase.prop = vr::Prop_ModelNumber_String;
  erase.writeType = vr::PropertyWrite_Erase;
  props->WritePropertyBatch(container, &erase, 1);
  EXPECT_FALSE(host->StringProperty(11, vr::Prop_ModelNumber_String).has_value());
  vr::PropertyWrite_t setError{};
  setError.prop = vr::Prop_ModelNumber_String;
  setError.writeType = vr::PropertyWrite_SetError;
  setError.eSetError = vr::TrackedProp_NotYetAvailable;
  props->WritePropertyBatch(container, &setError, 1);
  char buffer[8];
  vr::PropertyRead_t read = GarbageRead(vr::Prop_ModelNumber_String, buffer, sizeof buffer);
  props->ReadPropertyBatch(container, &read, 1);
  EXPECT_EQ(read.eError, vr::TrackedProp_NotYetAvailable);

  EXPECT_NE(props->WritePropertyBatch(container, nullptr, 2), vr::TrackedProp_Success);
  EXPECT_STREQ(props->GetPropErrorNameFromEnum(vr::TrackedProp_InvalidContainer), "TrackedProp_InvalidContainer");
}

}  // namespace
}  // namespace vantrels::host::test
