#pragma once

#include <openvr_driver.h>

#include <cstdint>
#include <optional>

namespace vantrels {

// One property write or read at a time, each a batch of one. Every record handed to the
// host starts fully initialised, errors set to a failure, so a host that leaves a field
// untouched is never read as success. While the host offers no properties interface the
// calls are skipped.
vr::PropertyContainerHandle_t PropertyContainer(uint32_t deviceIndex);
void WriteStringProperty(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop, const char *value);
void WriteInt32Property(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop, int32_t value);
void WriteBoolProperty(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop, bool value);
void WriteFloatProperty(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop, float value);

// The value when the host answers with success and the int32 tag; nothing otherwise.
std::optional<int32_t> ReadInt32Property(vr::PropertyContainerHandle_t container, vr::ETrackedDeviceProperty prop);

}  // namespace vantrels
