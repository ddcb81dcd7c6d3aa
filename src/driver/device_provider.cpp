#include "driver/device_provider.h"

#include <string>

#include "driver/driver_log.h"
#include "driver/frame_loop.h"
#include "driver/host_properties.h"
#include "driver/interface_versions.h"
#include "driver/steady_clock.h"
#include "trackers/tracker_device.h"

namespace vantrels {

namespace {

// Records a POSES message can carry in a receive buffer (63 in version 1); reserved up
// front so that decoding never allocates in a frame.
constexpr size_t kMaxRecordsPerDatagram = 64;

}  // namespace

uint16_t DeviceProvider::PortFromSetting(vr::EVRSettingsError error, int32_t value) {
  return (error != vr::VRSettingsError_None || value < 1 || value > 65535) ? kDefaultPort
                                                                           : static_cast<uint16_t>(value);
}

DeviceProvider::DeviceProvider() : startTime(SteadyNowNs()) {
  points.reserve(kMaxRecordsPerDatagram);
  reportBuffer.reserve(kHostReportHeaderSize + kMaxReportedControllers * kHostReportControllerSize);
}

// Members go in reverse order: the point list, then the trackers from the last slot to the
// first, then the endpoint, which closes its socket.
DeviceProvider::~DeviceProvider() = default;

vr::EVRInitError DeviceProvider::Init(vr::IVRDriverContext *pDriverContext) {
  try {
    VR_INIT_SERVER_DRIVER_CONTEXT(pDriverContext);

    // Starts as a failure so that a host that leaves it untouched does not count as success.
    vr::EVRSettingsError error = vr::VRSettingsError_ReadFailed;
    const int32_t value = vr::VRSettings()->GetInt32("driver_vantrels", "port", &error);
    const uint16_t port = PortFromSetting(error, value);

    if (!endpoint.Open(port)) {
      DriverLog("Could not open UDP port " + std::to_string(port) + " (is it in use?)");
      return vr::VRInitError_Driver_Failed;
    }
    DriverLog("Listening for the Vantrels server on 127.0.0.1:" + std::to_string(port));
    return vr::VRInitError_None;
  } catch (...) {
    endpoint.Close();
    return vr::VRInitError_Driver_Failed;
  }
}

void DeviceProvider::Cleanup() {
  endpoint.Close();
  VR_CLEANUP_SERVER_DRIVER_CONTEXT();
}

const char *const *DeviceProvider::GetInterfaceVersions() {
  return kInterfaceVersions;
}

void DeviceProvider::RunFrame() {
  try {
    RunFrameWith(endpoint, SteadyNowNs());
  } catch (...) {
    // Only a log line can allocate in a frame; losing it must not take the host down.
  }
}

bool DeviceProvider::ShouldBlockStandbyMode() {
  return false;
}

void DeviceProvider::EnterStandby() {}

void DeviceProvider::LeaveStandby() {}

void DeviceProvider::RefreshControllerRoles() {
  for (uint32_t i = 1; i < vr::k_unMaxTrackedDeviceCount; ++i) {
    const vr::PropertyContainerHandle_t container = PropertyContainer(i);
    const std::optional<int32_t> deviceClass = ReadInt32Property(container, vr::Prop_DeviceClass_Int32);
    std::optional<int32_t> roleHint;
    if (deviceClass == vr::TrackedDeviceClass_Controller)
      roleHint = ReadInt32Property(container, vr::Prop_ControllerRoleHint_Int32);
    controllerRoles[i] = ControllerRoleCode(deviceClass ? &*deviceClass : nullptr, roleHint ? &*roleHint : nullptr);
  }
}

}  // namespace vantrels
