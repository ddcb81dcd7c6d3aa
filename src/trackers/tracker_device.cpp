#include "trackers/tracker_device.h"

#include <string>

#include "driver/driver_log.h"
#include "driver/host_properties.h"
#include "trackers/render_model_selection.h"

namespace vantrels {

vr::DriverPose_t DefaultTrackerPose() {
  vr::DriverPose_t pose{};
  pose.qWorldFromDriverRotation.w = 1.0;
  pose.qDriverFromHeadRotation.w = 1.0;
  pose.qRotation.w = 1.0;
  pose.result = vr::TrackingResult_Running_OutOfRange;
  pose.poseIsValid = false;
  pose.willDriftInYaw = false;
  pose.shouldApplyHeadModel = false;
  pose.deviceIsConnected = true;
  return pose;
}

TrackerDevice::TrackerDevice(uint8_t bodyPointIndex)
    : bodyPoint(FindBodyPoint(bodyPointIndex)), pose(DefaultTrackerPose()) {}

vr::EVRInitError TrackerDevice::Activate(uint32_t unObjectId) {
  try {
    deviceIndex.store(unObjectId, std::memory_order_relaxed);
    const char *serial = bodyPoint != nullptr ? bodyPoint->serial : "";
    WriteLogLine("[Vantrels] Activated " + std::string(serial) + " as device " + std::to_string(unObjectId));

    const vr::PropertyContainerHandle_t container = PropertyContainer(unObjectId);
    WriteStringProperty(container, vr::Prop_TrackingSystemName_String, "vantrels");
    WriteStringProperty(container, vr::Prop_ManufacturerName_String, "Vantrels");
    const std::string model = "Vantrels " + std::string(bodyPoint != nullptr ? bodyPoint->displayName : "");
    WriteStringProperty(container, vr::Prop_ModelNumber_String, model.c_str());
    WriteStringProperty(container, vr::Prop_SerialNumber_String, serial);

    const std::string &renderModel = RenderModelName();
    WriteStringProperty(container, vr::Prop_RenderModelName_String, renderModel.c_str());
    WriteLogLine("[Vantrels] " + std::string(serial) + " render model: " + renderModel);

    WriteStringProperty(container, vr::Prop_ControllerType_String, "vive_tracker");
    WriteStringProperty(container, vr::Prop_InputProfilePath_String, "{htc}/input/vive_tracker_profile.json");
    WriteInt32Property(container, vr::Prop_ControllerRoleHint_Int32, vr::TrackedControllerRole_OptOut);
    WriteInt32Property(container, vr::Prop_DeviceClass_Int32, vr::TrackedDeviceClass_GenericTracker);
    UpdateBatteryProperties();
    WriteBoolProperty(container, vr::Prop_WillDriftInYaw_Bool, true);
    WriteBoolProperty(container, vr::Prop_NeverTracked_Bool, false);
  } catch (...) {
    // Nothing may escape into the host; the device stays usable with what was written.
  }
  return vr::VRInitError_None;
}

void TrackerDevice::Deactivate() {
  deviceIndex.store(vr::k_unTrackedDeviceIndexInvalid, std::memory_order_relaxed);
}

void TrackerDevice::EnterStandby() {}

void *TrackerDevice::GetComponent(const char * /*pchComponentNameAndVersion*/) {
  return nullptr;
}

void TrackerDevice::DebugRequest(const char * /*pchRequest*/, char *pchResponseBuffer, uint32_t unResponseBufferSize) {
  if (unResponseBufferSize != 0 && pchResponseBuffer != nullptr) pchResponseBuffer[0] = '\0';
}

vr::DriverPose_t TrackerDevice::GetPose() {
  return pose;
}

void TrackerDevice::UpdateBatteryProperties() {
  const uint32_t index = deviceIndex.load(std::memory_order_relaxed);
  if (index == vr::k_unTrackedDeviceIndexInvalid) return;
  const vr::PropertyContainerHandle_t container = PropertyContainer(index);
  const bool providesBattery = batteryPercent != 255;
  WriteBoolProperty(container, vr::Prop_DeviceProvidesBatteryStatus_Bool, providesBattery);
  if (!providesBattery) return;
  // Passed on as sent: a level above 100 is the server's to fix, not the driver's to hide.
  WriteFloatProperty(container, vr::Prop_DeviceBatteryPercentage_Float, static_cast<float>(batteryPercent) / 100.0f);
  WriteBoolProperty(container, vr::Prop_DeviceIsCharging_Bool, charging != 0);
}

}  // namespace vantrels
