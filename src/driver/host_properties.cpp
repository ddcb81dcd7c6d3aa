#include "driver/host_properties.h"

#include <cstring>

namespace vantrels {

namespace {

// The properties interface, or null when there is no host or it offers none. Init cannot
// tell the latter apart, so every property call asks here first.
vr::IVRProperties *Properties() {
  if (vr::VRDriverContext() == nullptr) return nullptr;
  return vr::VRPropertiesRaw();
}

void WriteProperty(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop, void *buffer,
                   uint32_t size, vr::PropertyTypeTag_t tag) {
  vr::IVRProperties *properties = Properties();
  if (properties == nullptr) return;
  vr::PropertyWrite_t write{};
  write.prop = prop;
  write.writeType = vr::PropertyWrite_Set;
  write.eSetError = vr::TrackedProp_InvalidOperation;
  write.pvBuffer = buffer;
  write.unBufferSize = size;
  write.unTag = tag;
  write.eError = vr::TrackedProp_InvalidOperation;
  properties->WritePropertyBatch(container, &write, 1);  // the host's verdict is not needed
}

}  // namespace

vr::PropertyContainerHandle_t PropertyContainer(uint32_t deviceIndex) {
  vr::IVRProperties *properties = Properties();
  if (properties == nullptr) return vr::k_ulInvalidPropertyContainer;
  return properties->TrackedDeviceToPropertyContainer(deviceIndex);
}

void WriteStringProperty(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop, const char *value) {
  if (value == nullptr) return;
  WriteProperty(container, prop, const_cast<char *>(value), static_cast<uint32_t>(std::strlen(value) + 1),
                vr::k_unStringPropertyTag);
}

void WriteInt32Property(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop, int32_t value) {
  WriteProperty(container, prop, &value, sizeof(value), vr::k_unInt32PropertyTag);
}

void WriteBoolProperty(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop, bool value) {
  WriteProperty(container, prop, &value, sizeof(value), vr::k_unBoolPropertyTag);
}

void WriteFloatProperty(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop, float value) {
  WriteProperty(container, prop, &value, sizeof(value), vr::k_unFloatPropertyTag);
}

std::optional<int32_t> ReadInt32Property(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop) {
  vr::IVRProperties *properties = Properties();
  if (properties == nullptr) return std::nullopt;
  int32_t value = 0;
  vr::PropertyRead_t read{};
  read.prop = prop;
  read.pvBuffer = &value;
  read.unBufferSize = sizeof(value);
  read.unTag = vr::k_unInvalidPropertyTag;
  read.unRequiredBufferSize = 0;
  read.eError = vr::TrackedProp_InvalidOperation;
  properties->ReadPropertyBatch(container, &read, 1);
  if (read.eError != vr::TrackedProp_Success || read.unTag != vr::k_unInt32PropertyTag) return std::nullopt;
  return value;
}

}  // namespace vantrels
