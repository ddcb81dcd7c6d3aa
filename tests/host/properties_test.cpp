// IVRProperties as the SDK's helpers use it: every result field written, buffers respected,
// values copied.
#include <gtest/gtest.h>

#include <cstring>

#include "host_test_support.h"

namespace vantrels::host::test {
namespace {

// A read whose result fields hold garbage, so the test sees which ones the host writes.
vr::PropertyRead_t GarbageRead(vr::ETrackedDeviceProperty prop, void *buffer, uint32_t size) {
  vr::PropertyRead_t read;
  std::memset(&read, 0xA5, sizeof read);
  read.prop = prop;
  read.pvBuffer = buffer;
  read.unBufferSize = size;
  return read;
}

struct PropertiesFixture : ::testing::Test {
  static HostOptions Options() {
    HostOptions options;
    options.controllers = 10;
    options.activation = HostOptions::Activation::Never;
    return options;
  }
  SubstituteHost host{Options()};
  vr::IVRProperties *props = Interface<vr::IVRProperties>(host, vr::IVRProperties_Version);
  vr::CVRPropertyHelpers helper{props};
};

TEST_F(PropertiesFixture, HostDevicesCarryClassAndRoleHint) {
  vr::ETrackedPropertyError error = vr::TrackedProp_OutOfMemory;
  EXPECT_EQ(helper.GetInt32Property(helper.TrackedDeviceToPropertyContainer(0), vr::Prop_DeviceClass_Int32, &error),
            vr::TrackedDeviceClass_HMD);
  EXPECT_EQ(error, vr::TrackedProp_Success);
  const int32_t expectedRoles[] = {1, 2, 1, 2, 0, 2, 1, 2, 1, 4};
  for (uint32_t i = 1; i <= 10; ++i) {
    const auto c = helper.TrackedDeviceToPropertyContainer(i);
    EXPECT_EQ(helper.GetInt32Property(c, vr::Prop_DeviceClass_Int32), vr::TrackedDeviceClass_Controller);
    EXPECT_EQ(helper.GetInt32Property(c, vr::Prop_ControllerRoleHint_Int32, &error), expectedRoles[i - 1]) << i;
    EXPECT_EQ(error, vr::TrackedProp_Success);
  }
  // Reading an int32 as a float: the helper turns the tag mismatch into WrongDataType.
  helper.GetFloatProperty(helper.TrackedDeviceToPropertyContainer(1), vr::Prop_ControllerRoleHint_Int32, &error);
  EXPECT_EQ(error, vr::TrackedProp_WrongDataType);
  EXPECT_NE(props->TrackedDeviceToPropertyContainer(vr::k_unTrackedDeviceIndexInvalid),
            vr::k_ulInvalidPropertyContainer);
}

TEST_F(PropertiesFixture, FailedReadsWriteEveryResultField) {
  const struct {
    vr::PropertyContainerHandle_t container;
    vr::ETrackedDeviceProperty prop;
    vr::ETrackedPropertyError expected;
  } cases[] = {
      {props->TrackedDeviceToPropertyContainer(1), vr::Prop_ModelNumber_String, vr::TrackedProp_UnknownProperty},
      {props->TrackedDeviceToPropertyContainer(30), vr::Prop_DeviceClass_Int32, vr::TrackedProp_InvalidDevice},
      {vr::k_ulInvalidPropertyContainer, vr::Prop_DeviceClass_Int32, vr::TrackedProp_InvalidContainer},
      {props->TrackedDeviceToPropertyContainer(vr::k_unTrackedDeviceIndexInvalid), vr::Prop_DeviceClass_Int32,
       vr::TrackedProp_InvalidDevice},
  };
  for (const auto &c : cases) {
    int32_t value = 0;
    vr::PropertyRead_t read = GarbageRead(c.prop, &value, 4);
    EXPECT_EQ(props->ReadPropertyBatch(c.container, &read, 1), c.expected) << c.container;
    EXPECT_EQ(read.eError, c.expected) << c.container;
    EXPECT_EQ(read.unTag, vr::k_unInvalidPropertyTag) << c.container;
    EXPECT_EQ(read.unRequiredBufferSize, 0u) << c.container;
  }
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
}

TEST_F(PropertiesFixture, WritesAreCopiedAndReadBack) {
  StubDevice device;
  auto *server = Interface<vr::IVRServerDriverHost>(host, vr::IVRServerDriverHost_Version);
  ASSERT_TRUE(server->TrackedDeviceAdded("VT-1", vr::TrackedDeviceClass_GenericTracker, &device));
  const auto container = props->TrackedDeviceToPropertyContainer(11);

  char text[32] = "{vantrels}vantrel";
  vr::PropertyWrite_t write;
  std::memset(&write, 0xA5, sizeof write);
  write.prop = vr::Prop_RenderModelName_String;
  write.writeType = vr::PropertyWrite_Set;
  write.pvBuffer = text;
  write.unBufferSize = static_cast<uint32_t>(std::strlen(text) + 1);
  write.unTag = vr::k_unStringPropertyTag;
  EXPECT_EQ(props->WritePropertyBatch(container, &write, 1), vr::TrackedProp_Success);
  EXPECT_EQ(write.eError, vr::TrackedProp_Success);
  EXPECT_EQ(write.eSetError, vr::TrackedProp_Success);
  std::strcpy(text, "overwritten");  // the host kept its own copy
  EXPECT_EQ(host.StringProperty(11, vr::Prop_RenderModelName_String), "{vantrels}vantrel");
  EXPECT_EQ(host.PropertyWrites().at(0).bytes.size(), 18u);

  EXPECT_EQ(helper.SetFloatProperty(container, vr::Prop_DeviceBatteryPercentage_Float, 0.5f), vr::TrackedProp_Success);
  EXPECT_EQ(helper.GetFloatProperty(container, vr::Prop_DeviceBatteryPercentage_Float), 0.5f);
  EXPECT_FALSE(host.Int32Property(11, vr::Prop_DeviceBatteryPercentage_Float).has_value());  // wrong type

  // Bad writes are refused with an error and store nothing.
  EXPECT_EQ(helper.SetInt32Property(vr::k_ulInvalidPropertyContainer, vr::Prop_ControllerRoleHint_Int32, 1),
            vr::TrackedProp_InvalidContainer);
  EXPECT_EQ(helper.SetInt32Property(props->TrackedDeviceToPropertyContainer(50), vr::Prop_ControllerRoleHint_Int32, 1),
            vr::TrackedProp_InvalidDevice);
  int64_t wide = 7;
  EXPECT_EQ(helper.SetProperty(container, vr::Prop_ControllerRoleHint_Int32, &wide, 8, vr::k_unInt32PropertyTag),
            vr::TrackedProp_WrongDataType);
  EXPECT_EQ(helper.SetProperty(container, vr::Prop_ModelNumber_String, nullptr, 5, vr::k_unStringPropertyTag),
            vr::TrackedProp_InvalidOperation);
  EXPECT_FALSE(host.Int32Property(11, vr::Prop_ControllerRoleHint_Int32).has_value());
  EXPECT_FALSE(host.Anomalies().empty());
  EXPECT_NE(props->WritePropertyBatch(container, nullptr, 2), vr::TrackedProp_Success);

  // Erase removes; SetError makes reads fail with the given error.
  helper.SetStringProperty(container, vr::Prop_ModelNumber_String, "m");
  vr::PropertyWrite_t special{};
  special.prop = vr::Prop_ModelNumber_String;
  special.writeType = vr::PropertyWrite_Erase;
  props->WritePropertyBatch(container, &special, 1);
  EXPECT_FALSE(host.StringProperty(11, vr::Prop_ModelNumber_String).has_value());
  special.writeType = vr::PropertyWrite_SetError;
  special.eSetError = vr::TrackedProp_NotYetAvailable;
  props->WritePropertyBatch(container, &special, 1);
  char buffer[8];
  vr::PropertyRead_t read = GarbageRead(vr::Prop_ModelNumber_String, buffer, sizeof buffer);
  props->ReadPropertyBatch(container, &read, 1);
  EXPECT_EQ(read.eError, vr::TrackedProp_NotYetAvailable);
}

}  // namespace
}  // namespace vantrels::host::test
