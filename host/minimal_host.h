// A host that does the least a driver needs and allocates nothing while frames run: it accepts
// and activates every device at once, answers every settings read with "unset", keeps no record,
// and reports one headset pose. For measuring the driver alone: allocation counts and timings
// that the recording host would otherwise dominate.
#pragma once

#include <openvr_driver.h>

#include <array>
#include <cstdint>
#include <cstring>

namespace vantrels::host {

class MinimalHost final : public vr::IVRDriverContext {
 public:
  MinimalHost() {
    headset.mDeviceToAbsoluteTracking.m[0][0] = 1.0f;
    headset.mDeviceToAbsoluteTracking.m[1][1] = 1.0f;
    headset.mDeviceToAbsoluteTracking.m[2][2] = 1.0f;
    headset.mDeviceToAbsoluteTracking.m[1][3] = 1.7f;
    headset.bPoseIsValid = true;
    headset.bDeviceIsConnected = true;
    headset.eTrackingResult = vr::TrackingResult_Running_OK;
  }

  void *GetGenericInterface(const char *version, vr::EVRInitError *error) override {
    if (error) *error = vr::VRInitError_None;
    if (std::strcmp(version, vr::IVRServerDriverHost_Version) == 0) return &driverHost;
    if (std::strcmp(version, vr::IVRSettings_Version) == 0) return &settings;
    if (std::strcmp(version, vr::IVRProperties_Version) == 0) return &properties;
    if (std::strcmp(version, vr::IVRDriverLog_Version) == 0) return &log;
    if (std::strcmp(version, vr::IVRDriverManager_Version) == 0) return &manager;
    if (std::strcmp(version, vr::IVRResources_Version) == 0) return &resources;
    if (error) *error = vr::VRInitError_Init_InterfaceNotFound;
    return nullptr;
  }
  vr::DriverHandle_t GetDriverHandle() override { return 1; }

  // The port the driver is told to listen on; 0 leaves the setting unset.
  int32_t port = 0;
  vr::TrackedDevicePose_t headset{};
  uint64_t poseUpdates = 0;
  uint64_t devicesAdded = 0;
  uint64_t logLines = 0;

 private:
  struct DriverHost final : vr::IVRServerDriverHost {
    MinimalHost *self;
    explicit DriverHost(MinimalHost *s) : self(s) {}
    bool TrackedDeviceAdded(const char *, vr::ETrackedDeviceClass, vr::ITrackedDeviceServerDriver *driver) override {
      const uint32_t index = static_cast<uint32_t>(++self->devicesAdded);
      if (driver) driver->Activate(index);
      return true;
    }
    void TrackedDevicePoseUpdated(uint32_t, const vr::DriverPose_t &, uint32_t) override { ++self->poseUpdates; }
    void VsyncEvent(double) override {}
    void VendorSpecificEvent(uint32_t, vr::EVREventType, const vr::VREvent_Data_t &, double) override {}
    bool IsExiting() override { return false; }
    bool PollNextEvent(vr::VREvent_t *, uint32_t) override { return false; }
    void GetRawTrackedDevicePoses(float, vr::TrackedDevicePose_t *poses, uint32_t count) override {
      if (poses && count > 0) poses[0] = self->headset;
    }
    void RequestRestart(const char *, const char *, const char *, const char *) override {}
    uint32_t GetFrameTimings(vr::Compositor_FrameTiming *, uint32_t) override { return 0; }
    void SetDisplayEyeToHead(uint32_t, const vr::HmdMatrix34_t &, const vr::HmdMatrix34_t &) override {}
    void SetDisplayProjectionRaw(uint32_t, const vr::HmdRect2_t &, const vr::HmdRect2_t &) override {}
    void SetRecommendedRenderTargetSize(uint32_t, uint32_t, uint32_t) override {}
  };

  struct Settings final : vr::IVRSettings {
    MinimalHost *self;
    explicit Settings(MinimalHost *s) : self(s) {}
    static void Unset(vr::EVRSettingsError *e) {
      if (e) *e = vr::VRSettingsError_UnsetSettingHasNoDefault;
    }
    const char *GetSettingsErrorNameFromEnum(vr::EVRSettingsError) override { return ""; }
    void SetBool(const char *, const char *, bool, vr::EVRSettingsError *e) override { Done(e); }
    void SetInt32(const char *, const char *, int32_t, vr::EVRSettingsError *e) override { Done(e); }
    void SetFloat(const char *, const char *, float, vr::EVRSettingsError *e) override { Done(e); }
    void SetString(const char *, const char *, const char *, vr::EVRSettingsError *e) override { Done(e); }
    bool GetBool(const char *, const char *, vr::EVRSettingsError *e) override { return Unset(e), false; }
    int32_t GetInt32(const char *, const char *key, vr::EVRSettingsError *e) override {
      if (self->port != 0 && key && std::strcmp(key, "port") == 0) {
        Done(e);
        return self->port;
      }
      return Unset(e), 0;
    }
    float GetFloat(const char *, const char *, vr::EVRSettingsError *e) override { return Unset(e), 0.0f; }
    void GetString(const char *, const char *, char *value, uint32_t size, vr::EVRSettingsError *e) override {
      if (value && size > 0) value[0] = '\0';
      Unset(e);
    }
    void RemoveSection(const char *, vr::EVRSettingsError *e) override { Done(e); }
    void RemoveKeyInSection(const char *, const char *, vr::EVRSettingsError *e) override { Done(e); }
    static void Done(vr::EVRSettingsError *e) {
      if (e) *e = vr::VRSettingsError_None;
    }
  };

  struct Properties final : vr::IVRProperties {
    vr::ETrackedPropertyError ReadPropertyBatch(vr::PropertyContainerHandle_t, vr::PropertyRead_t *batch,
                                                uint32_t count) override {
      for (uint32_t i = 0; batch && i < count; ++i) {
        batch[i].unTag = vr::k_unInvalidPropertyTag;
        batch[i].unRequiredBufferSize = 0;
        batch[i].eError = vr::TrackedProp_UnknownProperty;
      }
      return vr::TrackedProp_Success;
    }
    vr::ETrackedPropertyError WritePropertyBatch(vr::PropertyContainerHandle_t, vr::PropertyWrite_t *batch,
                                                 uint32_t count) override {
      for (uint32_t i = 0; batch && i < count; ++i) batch[i].eError = batch[i].eSetError = vr::TrackedProp_Success;
      return vr::TrackedProp_Success;
    }
    const char *GetPropErrorNameFromEnum(vr::ETrackedPropertyError) override { return ""; }
    vr::PropertyContainerHandle_t TrackedDeviceToPropertyContainer(vr::TrackedDeviceIndex_t index) override {
      return index + 1;
    }
  };

  struct LogSink final : vr::IVRDriverLog {
    MinimalHost *self;
    explicit LogSink(MinimalHost *s) : self(s) {}
    void Log(const char *) override { ++self->logLines; }
  };

  struct Manager final : vr::IVRDriverManager {
    uint32_t GetDriverCount() const override { return 1; }
    uint32_t GetDriverName(vr::DriverId_t, char *value, uint32_t size) override {
      if (value && size > 0) value[0] = '\0';
      return 0;
    }
    vr::DriverHandle_t GetDriverHandle(const char *) override { return 1; }
    bool IsEnabled(vr::DriverId_t) const override { return true; }
  };

  struct Resources final : vr::IVRResources {
    uint32_t LoadSharedResource(const char *, char *, uint32_t) override { return 0; }
    uint32_t GetResourceFullPath(const char *, const char *, char *, uint32_t) override { return 0; }
  };

  DriverHost driverHost{this};
  Settings settings{this};
  Properties properties;
  LogSink log{this};
  Manager manager;
  Resources resources;
};

}  // namespace vantrels::host
