// The substitute for the VR server's side of the driver API: the driver context handed to
// Init, one object per host interface, a simulated headset and controllers, and a record of
// every call made in either direction.
//
// All driver-facing entry points catch every exception and tolerate null or odd arguments:
// a fault in the host must never unwind into the driver. The observation accessors return
// references into the host's own vectors; read them while the driver is not running.
#pragma once

#include <openvr_driver.h>

#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/host_options.h"

namespace vantrels::host {

class CallRecorder;
class LoadedDriver;

class SubstituteHost : public vr::IVRDriverContext {
 public:
  explicit SubstituteHost(HostOptions options = {});
  ~SubstituteHost();
  SubstituteHost(const SubstituteHost &) = delete;
  SubstituteHost &operator=(const SubstituteHost &) = delete;

  // vr::IVRDriverContext
  void *GetGenericInterface(const char *version, vr::EVRInitError *error) override;
  vr::DriverHandle_t GetDriverHandle() override;

  const HostOptions &Options() const { return options_; }
  // False when the record file could not be opened; the message says why.
  bool RecordOpen(std::string &error) const;

  // The driver folder: names the driver for IVRDriverManager and resolves "{name}/..." paths.
  void SetDriverFolder(const std::filesystem::path &folder, const std::string &name);
  std::string DriverName() const;

  // ---- settings: a store of JSON values per section and key ----
  bool LoadDefaultSettings(const std::filesystem::path &defaultVrsettings, std::string &error);
  void SetSetting(const std::string &section, const std::string &key, const nlohmann::json &value);
  // "section.key=value": the section ends at the first dot; the value is taken as JSON when it
  // parses as a number, bool or quoted string, else as plain text.
  bool ApplySetOption(const std::string &sectionDotKeyEqualsValue, std::string &error);
  std::optional<nlohmann::json> Setting(const std::string &section, const std::string &key) const;

  // ---- frames ----
  // Moves the simulation to simSeconds; with deferred activation, activates every device
  // accepted since the previous frame.
  void BeginFrame(double simSeconds);
  double SimSeconds() const;
  void SetRawPose(uint32_t deviceIndex, const vr::TrackedDevicePose_t &pose);
  void ClearRawPose(uint32_t deviceIndex);
  void QueueEvent(uint32_t eventType, uint32_t deviceIndex);
  void SetControllerRoleHint(uint32_t deviceIndex, int32_t role);

  // ---- observations, each in call order ----
  struct Announcement {
    std::string serial;
    vr::ETrackedDeviceClass deviceClass;
    vr::ITrackedDeviceServerDriver *driver;
    bool accepted;
    uint32_t deviceIndex;  // k_unTrackedDeviceIndexInvalid when refused
  };
  struct PropertyWrite {
    uint32_t deviceIndex;
    vr::ETrackedDeviceProperty prop;
    vr::EPropertyWriteType writeType;
    vr::PropertyTypeTag_t tag;
    std::vector<uint8_t> bytes;
    vr::ETrackedPropertyError error = vr::TrackedProp_Success;  // what the host answered in eError
  };
  struct PropertyRead {
    uint32_t deviceIndex;
    vr::ETrackedDeviceProperty prop;
    uint32_t bufferSize;
    vr::ETrackedPropertyError error = vr::TrackedProp_Success;
  };
  struct PoseUpdate {
    uint32_t deviceIndex;
    vr::DriverPose_t pose;
    uint32_t size;
    int64_t monotonicNs;
  };
  struct SettingAccess {
    std::string op;  // "GetInt32", "GetString", "SetString", ...
    std::string section;
    std::string key;
    std::string value;  // value read or written, as JSON text for numbers and bools
    int error = 0;      // the EVRSettingsError answered
  };

  const std::vector<Announcement> &Announcements() const { return announcements_; }
  const std::vector<PropertyWrite> &PropertyWrites() const { return propertyWrites_; }
  const std::vector<PropertyRead> &PropertyReads() const { return propertyReads_; }
  const std::vector<PoseUpdate> &PoseUpdates() const { return poseUpdates_; }
  const std::vector<SettingAccess> &SettingAccesses() const { return settingAccesses_; }
  const std::vector<std::string> &LogLines() const { return logLines_; }
  const std::vector<std::string> &CallNames() const { return callNames_; }
  // Calls whose arguments the host had to reject or repair (wrong sizes, null pointers, ...).
  const std::vector<std::string> &Anomalies() const { return anomalies_; }
  uint64_t RawPoseFetches() const { return rawPoseFetches_; }
  uint64_t EventPolls() const { return eventPolls_; }
  void ClearObservations();
  // Drops the pose updates and call names kept so far, which a long run would otherwise pile up
  // without bound; PoseUpdatesForgotten() counts the updates dropped since the last clear.
  void ForgetFrameHistory();
  uint64_t PoseUpdatesForgotten() const { return poseUpdatesForgotten_; }
  // RunFrame calls so far; the record numbers them from 0 in its "frame" field.
  uint64_t FrameCount() const { return frameCount_; }

  // Last value written by the driver, or set up by the host for its simulated devices.
  std::optional<std::string> StringProperty(uint32_t deviceIndex, vr::ETrackedDeviceProperty prop) const;
  std::optional<int32_t> Int32Property(uint32_t deviceIndex, vr::ETrackedDeviceProperty prop) const;
  std::optional<float> FloatProperty(uint32_t deviceIndex, vr::ETrackedDeviceProperty prop) const;
  std::optional<bool> BoolProperty(uint32_t deviceIndex, vr::ETrackedDeviceProperty prop) const;

  // ---- host -> driver calls, recorded so that the record shows both directions ----
  vr::IServerTrackedDeviceProvider *CallProvider(LoadedDriver &driver, std::string &error);  // HmdDriverFactory
  std::vector<std::string> CallGetInterfaceVersions(vr::IServerTrackedDeviceProvider *provider);
  vr::EVRInitError CallInit(vr::IServerTrackedDeviceProvider *provider);
  void CallRunFrame(vr::IServerTrackedDeviceProvider *provider);
  void CallCleanup(vr::IServerTrackedDeviceProvider *provider);
  // Deactivate on every activated device, in index order (the server does so before Cleanup).
  void DeactivateAll();

  vr::ITrackedDeviceServerDriver *Device(uint32_t deviceIndex) const;
  bool IsActivated(uint32_t deviceIndex) const;
  // The pose the host reports for an index right now, as GetRawTrackedDevicePoses fills it.
  vr::TrackedDevicePose_t RawPose(uint32_t deviceIndex, float predictedSeconds = 0.0f) const;

 private:
  class DriverHostImpl;
  class SettingsImpl;
  class PropertiesImpl;
  class DriverLogImpl;
  class DriverManagerImpl;
  class ResourcesImpl;

  struct DeviceSlot {
    bool present = false;
    bool fromDriver = false;
    std::string serial;
    vr::ETrackedDeviceClass deviceClass = vr::TrackedDeviceClass_Invalid;
    vr::ITrackedDeviceServerDriver *driver = nullptr;
    bool activated = false;
    bool pendingActivation = false;
    bool hasPose = false;
    vr::DriverPose_t lastPose{};
  };
  struct StoredProperty {
    vr::PropertyTypeTag_t tag = vr::k_unInvalidPropertyTag;
    std::vector<uint8_t> bytes;
    vr::ETrackedPropertyError storedError = vr::TrackedProp_Success;  // set by PropertyWrite_SetError
  };

  template <typename Result, typename Body>
  Result Guarded(const char *call, Result fallback, Body &&body) noexcept;
  template <typename Body>
  void GuardedVoid(const char *call, Body &&body) noexcept;
  // Writes one record line; newCall false for the line that reports a call's return.
  void Record(nlohmann::ordered_json entry, bool newCall = true);
  void NoteAnomaly(const std::string &call, const std::string &what);
  void ActivateDevice(uint32_t deviceIndex);
  void StoreHostProperty(uint32_t deviceIndex, vr::ETrackedDeviceProperty prop, vr::PropertyTypeTag_t tag,
                         const void *data, size_t size);
  const StoredProperty *FindProperty(uint32_t deviceIndex, vr::ETrackedDeviceProperty prop) const;
  std::optional<uint32_t> NextFreeIndex() const;

  HostOptions options_;
  mutable std::recursive_mutex mutex_;
  std::unique_ptr<CallRecorder> recorder_;
  std::unique_ptr<DriverHostImpl> driverHost_;
  std::unique_ptr<SettingsImpl> settings_;
  std::unique_ptr<PropertiesImpl> properties_;
  std::unique_ptr<DriverLogImpl> driverLog_;
  std::unique_ptr<DriverManagerImpl> driverManager_;
  std::unique_ptr<ResourcesImpl> resources_;

  std::filesystem::path driverFolder_;
  std::string driverName_ = "vantrels";

  std::map<std::string, std::map<std::string, nlohmann::json>> settingStore_;
  std::array<DeviceSlot, vr::k_unMaxTrackedDeviceCount> devices_{};
  std::array<std::optional<vr::TrackedDevicePose_t>, vr::k_unMaxTrackedDeviceCount> pinnedPoses_{};
  std::map<std::pair<uint32_t, uint32_t>, StoredProperty> propertyStore_;
  std::deque<vr::VREvent_t> events_;
  double simSeconds_ = 0.0;
  uint64_t announcementsSeen_ = 0;

  std::vector<Announcement> announcements_;
  std::vector<PropertyWrite> propertyWrites_;
  std::vector<PropertyRead> propertyReads_;
  std::vector<PoseUpdate> poseUpdates_;
  std::vector<SettingAccess> settingAccesses_;
  std::vector<std::string> logLines_;
  std::vector<std::string> callNames_;
  std::vector<std::string> anomalies_;
  uint64_t rawPoseFetches_ = 0;
  uint64_t eventPolls_ = 0;
  uint64_t poseUpdatesForgotten_ = 0;
  uint64_t frameCount_ = 0;
};

}  // namespace vantrels::host
