// The six host interfaces the driver fetches through the context. Each is a thin object
// bound to its SubstituteHost; the method bodies live in one file per interface.
#pragma once

#include <openvr_driver.h>

#include <exception>
#include <mutex>
#include <string>

#include "host/substitute_host.h"

namespace vantrels::host {

// Runs body under the host's lock; an exception becomes an anomaly and the fallback result,
// so nothing unwinds into the driver.
template <typename Result, typename Body>
Result SubstituteHost::Guarded(const char *call, Result fallback, Body &&body) noexcept {
  try {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    try {
      return body();
    } catch (const std::exception &e) {
      NoteAnomaly(call, std::string("host failure: ") + e.what());
    } catch (...) {
      NoteAnomaly(call, "host failure");
    }
  } catch (...) {
  }
  return fallback;
}

template <typename Body>
void SubstituteHost::GuardedVoid(const char *call, Body &&body) noexcept {
  Guarded(call, 0, [&] {
    body();
    return 0;
  });
}

class SubstituteHost::DriverHostImpl final : public vr::IVRServerDriverHost {
 public:
  explicit DriverHostImpl(SubstituteHost &host) : host_(host) {}
  bool TrackedDeviceAdded(const char *serial, vr::ETrackedDeviceClass deviceClass,
                          vr::ITrackedDeviceServerDriver *driver) override;
  void TrackedDevicePoseUpdated(uint32_t deviceIndex, const vr::DriverPose_t &pose, uint32_t size) override;
  void VsyncEvent(double vsyncTimeOffsetSeconds) override;
  void VendorSpecificEvent(uint32_t deviceIndex, vr::EVREventType eventType, const vr::VREvent_Data_t &data,
                           double eventTimeOffset) override;
  bool IsExiting() override;
  bool PollNextEvent(vr::VREvent_t *event, uint32_t size) override;
  void GetRawTrackedDevicePoses(float predictedSeconds, vr::TrackedDevicePose_t *poses, uint32_t count) override;
  void RequestRestart(const char *reason, const char *executable, const char *arguments,
                      const char *workingDirectory) override;
  uint32_t GetFrameTimings(vr::Compositor_FrameTiming *timing, uint32_t frames) override;
  void SetDisplayEyeToHead(uint32_t deviceIndex, const vr::HmdMatrix34_t &left,
                           const vr::HmdMatrix34_t &right) override;
  void SetDisplayProjectionRaw(uint32_t deviceIndex, const vr::HmdRect2_t &left, const vr::HmdRect2_t &right) override;
  void SetRecommendedRenderTargetSize(uint32_t deviceIndex, uint32_t width, uint32_t height) override;

 private:
  bool AddDevice(const char *serial, vr::ETrackedDeviceClass deviceClass, vr::ITrackedDeviceServerDriver *driver);
  SubstituteHost &host_;
};

class SubstituteHost::SettingsImpl final : public vr::IVRSettings {
 public:
  explicit SettingsImpl(SubstituteHost &host) : host_(host) {}
  const char *GetSettingsErrorNameFromEnum(vr::EVRSettingsError error) override;
  void SetBool(const char *section, const char *key, bool value, vr::EVRSettingsError *error) override;
  void SetInt32(const char *section, const char *key, int32_t value, vr::EVRSettingsError *error) override;
  void SetFloat(const char *section, const char *key, float value, vr::EVRSettingsError *error) override;
  void SetString(const char *section, const char *key, const char *value, vr::EVRSettingsError *error) override;
  bool GetBool(const char *section, const char *key, vr::EVRSettingsError *error) override;
  int32_t GetInt32(const char *section, const char *key, vr::EVRSettingsError *error) override;
  float GetFloat(const char *section, const char *key, vr::EVRSettingsError *error) override;
  void GetString(const char *section, const char *key, char *value, uint32_t valueLen,
                 vr::EVRSettingsError *error) override;
  void RemoveSection(const char *section, vr::EVRSettingsError *error) override;
  void RemoveKeyInSection(const char *section, const char *key, vr::EVRSettingsError *error) override;

 private:
  void Store(const char *op, const char *section, const char *key, const nlohmann::json &value,
             vr::EVRSettingsError *error);
  // The stored value for a read, or the error the read answers with.
  const nlohmann::json *Lookup(const char *section, const char *key, vr::EVRSettingsError &error) const;
  void NoteRead(const char *op, const char *section, const char *key, const nlohmann::json &value,
                vr::EVRSettingsError error, vr::EVRSettingsError *out, nlohmann::ordered_json extra = {});
  SubstituteHost &host_;
};

class SubstituteHost::PropertiesImpl final : public vr::IVRProperties {
 public:
  explicit PropertiesImpl(SubstituteHost &host) : host_(host) {}
  vr::ETrackedPropertyError ReadPropertyBatch(vr::PropertyContainerHandle_t container, vr::PropertyRead_t *batch,
                                              uint32_t count) override;
  vr::ETrackedPropertyError WritePropertyBatch(vr::PropertyContainerHandle_t container, vr::PropertyWrite_t *batch,
                                               uint32_t count) override;
  const char *GetPropErrorNameFromEnum(vr::ETrackedPropertyError error) override;
  vr::PropertyContainerHandle_t TrackedDeviceToPropertyContainer(vr::TrackedDeviceIndex_t deviceIndex) override;

 private:
  // What a container handle names: the device index it stands for, and the error every entry of
  // a batch on it gets before its own checks (Success when the device exists).
  struct Target {
    bool haveContainer = false;
    uint64_t index = 0;
    uint32_t deviceIndex = vr::k_unTrackedDeviceIndexInvalid;  // as recorded
    vr::ETrackedPropertyError error = vr::TrackedProp_InvalidContainer;
  };
  Target Resolve(vr::PropertyContainerHandle_t container) const;

  SubstituteHost &host_;
};

class SubstituteHost::DriverLogImpl final : public vr::IVRDriverLog {
 public:
  explicit DriverLogImpl(SubstituteHost &host) : host_(host) {}
  void Log(const char *message) override;

 private:
  SubstituteHost &host_;
};

class SubstituteHost::DriverManagerImpl final : public vr::IVRDriverManager {
 public:
  explicit DriverManagerImpl(SubstituteHost &host) : host_(host) {}
  uint32_t GetDriverCount() const override;
  uint32_t GetDriverName(vr::DriverId_t driver, char *value, uint32_t bufferSize) override;
  vr::DriverHandle_t GetDriverHandle(const char *driverName) override;
  bool IsEnabled(vr::DriverId_t driver) const override;

 private:
  SubstituteHost &host_;
};

class SubstituteHost::ResourcesImpl final : public vr::IVRResources {
 public:
  explicit ResourcesImpl(SubstituteHost &host) : host_(host) {}
  uint32_t LoadSharedResource(const char *name, char *buffer, uint32_t bufferLen) override;
  uint32_t GetResourceFullPath(const char *name, const char *typeDirectory, char *pathBuffer,
                               uint32_t bufferLen) override;

 private:
  SubstituteHost &host_;
};

// The single driver handle the host gives out (0 is the SDK's invalid handle).
inline constexpr vr::DriverHandle_t kDriverHandle = 1;

// Copies text into a caller's buffer of bufferSize bytes, truncating so that a NUL always
// fits; returns the size the whole text needs, NUL included.
uint32_t CopyOutString(const std::string &text, char *buffer, uint32_t bufferSize);

// Null-safe view of a C string argument, for records.
inline std::string ArgText(const char *text) {
  return text ? std::string(text) : std::string();
}

}  // namespace vantrels::host
