// A tiny driver for testing the substitute host. It uses the host the way a tracker driver
// does: announces trackers from RunFrame (retrying refused ones), writes and reads properties
// on Activate, reads and writes settings, polls events and submits one pose per frame.
// Section "driver_fakedrv" steers it: "devices" (how many trackers), "init_result" (what Init
// returns), "port" (logged).
#include <openvr_driver.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Log(const std::string &text) {
  if (vr::IVRDriverLog *log = vr::VRDriverLog()) log->Log(text.c_str());
}

class FakeTracker : public vr::ITrackedDeviceServerDriver {
 public:
  std::string serial;
  uint32_t index = vr::k_unTrackedDeviceIndexInvalid;
  bool announced = false;
  bool active = false;

  vr::EVRInitError Activate(uint32_t objectId) override {
    index = objectId;
    active = true;
    vr::CVRPropertyHelpers *props = vr::VRProperties();
    const vr::PropertyContainerHandle_t c = props->TrackedDeviceToPropertyContainer(objectId);
    props->SetStringProperty(c, vr::Prop_SerialNumber_String, serial.c_str());
    props->SetFloatProperty(c, vr::Prop_DeviceBatteryPercentage_Float, 0.75f);
    props->SetBoolProperty(c, vr::Prop_DeviceProvidesBatteryStatus_Bool, true);
    props->SetInt32Property(c, vr::Prop_ControllerRoleHint_Int32, vr::TrackedControllerRole_OptOut);
    vr::ETrackedPropertyError error = vr::TrackedProp_Success;
    const int32_t role =
        props->GetInt32Property(props->TrackedDeviceToPropertyContainer(1), vr::Prop_ControllerRoleHint_Int32, &error);
    vr::VRSettings()->SetString("trackers", ("/devices/fakedrv/" + serial).c_str(), "TrackerRole_Waist");
    Log("fake: activated " + serial + " at " + std::to_string(objectId) + ", controller 1 role " +
        std::to_string(role) + " error " + std::to_string(static_cast<int>(error)));
    return vr::VRInitError_None;
  }
  void Deactivate() override {
    active = false;
    Log("fake: deactivated " + serial);
  }
  void EnterStandby() override {}
  void *GetComponent(const char *) override { return nullptr; }
  void DebugRequest(const char *, char *, uint32_t) override {}
  vr::DriverPose_t GetPose() override { return Pose(); }

  vr::DriverPose_t Pose() const {
    vr::DriverPose_t pose{};
    pose.qWorldFromDriverRotation.w = pose.qDriverFromHeadRotation.w = pose.qRotation.w = 1;
    pose.vecPosition[0] = 0.1 * static_cast<double>(index);
    pose.vecPosition[1] = 1.0;
    pose.vecPosition[2] = -0.5;
    pose.result = vr::TrackingResult_Running_OK;
    pose.poseIsValid = pose.deviceIsConnected = true;
    return pose;
  }
};

class FakeProvider : public vr::IServerTrackedDeviceProvider {
 public:
  static constexpr int kMaxTrackers = 8;
  FakeTracker trackers[kMaxTrackers];
  int count = 0;

  vr::EVRInitError Init(vr::IVRDriverContext *context) override {
    VR_INIT_SERVER_DRIVER_CONTEXT(context);
    vr::EVRSettingsError error = vr::VRSettingsError_None;
    const int32_t port = vr::VRSettings()->GetInt32("driver_fakedrv", "port", &error);
    Log("fake: Init port " + std::to_string(port) + " error " + std::to_string(static_cast<int>(error)));
    const int32_t devices = vr::VRSettings()->GetInt32("driver_fakedrv", "devices", &error);
    count = std::clamp(error == vr::VRSettingsError_None ? devices : 1, 0, kMaxTrackers);
    for (int i = 0; i < kMaxTrackers; ++i) {
      trackers[i] = FakeTracker{};
      trackers[i].serial = "FAKE-" + std::to_string(i + 1);
    }
    const int32_t result = vr::VRSettings()->GetInt32("driver_fakedrv", "init_result", &error);
    if (error == vr::VRSettingsError_None && result != 0) return static_cast<vr::EVRInitError>(result);
    return vr::VRInitError_None;
  }

  void Cleanup() override {
    Log("fake: Cleanup");
    VR_CLEANUP_SERVER_DRIVER_CONTEXT();
  }

  const char *const *GetInterfaceVersions() override {
    static const char *const kOld[] = {"IVRSettings_003", "IServerTrackedDeviceProvider_004", nullptr};
    return std::getenv("FAKE_DRIVER_OLD_VERSIONS") ? kOld : vr::k_InterfaceVersions;
  }

  void RunFrame() override {
    vr::TrackedDevicePose_t poses[vr::k_unMaxTrackedDeviceCount];
    std::memset(poses, 0, sizeof poses);
    vr::VRServerDriverHost()->GetRawTrackedDevicePoses(0.0f, poses, vr::k_unMaxTrackedDeviceCount);
    for (int i = 0; i < count; ++i) {
      FakeTracker &t = trackers[i];
      if (!t.announced) {
        t.announced =
            vr::VRServerDriverHost()->TrackedDeviceAdded(t.serial.c_str(), vr::TrackedDeviceClass_GenericTracker, &t);
      }
    }
    vr::VREvent_t event;
    while (vr::VRServerDriverHost()->PollNextEvent(&event, sizeof event)) {
      Log("fake: event " + std::to_string(event.eventType) + " device " + std::to_string(event.trackedDeviceIndex));
    }
    for (int i = 0; i < count; ++i) {
      FakeTracker &t = trackers[i];
      if (t.active) vr::VRServerDriverHost()->TrackedDevicePoseUpdated(t.index, t.Pose(), sizeof(vr::DriverPose_t));
    }
  }

  bool ShouldBlockStandbyMode() override { return false; }
  void EnterStandby() override {}
  void LeaveStandby() override {}
};

FakeProvider g_provider;

}  // namespace

extern "C" __attribute__((visibility("default"))) void *HmdDriverFactory(const char *name, int *returnCode) {
  if (name != nullptr && std::strcmp(name, vr::IServerTrackedDeviceProvider_Version) == 0) {
    return static_cast<vr::IServerTrackedDeviceProvider *>(&g_provider);
  }
  if (returnCode) *returnCode = vr::VRInitError_Init_InterfaceNotFound;
  return nullptr;
}
