#include "host/substitute_host.h"

#include <cstring>
#include <fstream>

#include "host/call_recorder.h"
#include "host/host_interfaces.h"
#include "host/loaded_driver.h"
#include "host/pose_convert.h"
#include "host/simulated_motion.h"

namespace vantrels::host {

SubstituteHost::SubstituteHost(HostOptions options)
    : options_(std::move(options)),
      recorder_(std::make_unique<CallRecorder>(options_.recordPath)),
      driverHost_(std::make_unique<DriverHostImpl>(*this)),
      settings_(std::make_unique<SettingsImpl>(*this)),
      properties_(std::make_unique<PropertiesImpl>(*this)),
      driverLog_(std::make_unique<DriverLogImpl>(*this)),
      driverManager_(std::make_unique<DriverManagerImpl>(*this)),
      resources_(std::make_unique<ResourcesImpl>(*this)) {
  if (options_.controllers > kMaxControllers) options_.controllers = kMaxControllers;

  DeviceSlot &headset = devices_[vr::k_unTrackedDeviceIndex_Hmd];
  headset.present = true;
  headset.serial = "HOST-HMD";
  headset.deviceClass = vr::TrackedDeviceClass_HMD;
  const int32_t hmdClass = vr::TrackedDeviceClass_HMD;
  StoreHostProperty(0, vr::Prop_DeviceClass_Int32, vr::k_unInt32PropertyTag, &hmdClass, sizeof hmdClass);
  StoreHostProperty(0, vr::Prop_SerialNumber_String, vr::k_unStringPropertyTag, headset.serial.c_str(),
                    headset.serial.size() + 1);

  for (uint32_t n = 1; n <= options_.controllers; ++n) {
    DeviceSlot &slot = devices_[n];
    slot.present = true;
    slot.serial = "HOST-CTRL-" + std::to_string(n);
    slot.deviceClass = vr::TrackedDeviceClass_Controller;
    const int32_t controllerClass = vr::TrackedDeviceClass_Controller;
    const int32_t role = ControllerRoleHintFor(n);
    StoreHostProperty(n, vr::Prop_DeviceClass_Int32, vr::k_unInt32PropertyTag, &controllerClass,
                      sizeof controllerClass);
    StoreHostProperty(n, vr::Prop_ControllerRoleHint_Int32, vr::k_unInt32PropertyTag, &role, sizeof role);
    StoreHostProperty(n, vr::Prop_SerialNumber_String, vr::k_unStringPropertyTag, slot.serial.c_str(),
                      slot.serial.size() + 1);
  }
}

SubstituteHost::~SubstituteHost() = default;

bool SubstituteHost::RecordOpen(std::string &error) const {
  if (recorder_->Ok()) return true;
  error = recorder_->Error();
  return false;
}

void SubstituteHost::SetDriverFolder(const std::filesystem::path &folder, const std::string &name) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  driverFolder_ = folder;
  if (!name.empty()) driverName_ = name;
}

std::string SubstituteHost::DriverName() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return driverName_;
}

// ---- driver context ----

void *SubstituteHost::GetGenericInterface(const char *version, vr::EVRInitError *error) {
  return Guarded<void *>("GetGenericInterface", nullptr, [&]() -> void * {
    const std::string name = ArgText(version);
    void *found = nullptr;
    bool withheld = false;
    for (const std::string &missing : options_.missingInterfaces) withheld = withheld || missing == name;
    if (version != nullptr && !withheld) {
      if (name == vr::IVRServerDriverHost_Version) {
        found = static_cast<vr::IVRServerDriverHost *>(driverHost_.get());
      } else if (name == vr::IVRSettings_Version) {
        found = static_cast<vr::IVRSettings *>(settings_.get());
      } else if (name == vr::IVRProperties_Version) {
        found = static_cast<vr::IVRProperties *>(properties_.get());
      } else if (name == vr::IVRDriverLog_Version) {
        found = static_cast<vr::IVRDriverLog *>(driverLog_.get());
      } else if (name == vr::IVRDriverManager_Version) {
        found = static_cast<vr::IVRDriverManager *>(driverManager_.get());
      } else if (name == vr::IVRResources_Version) {
        found = static_cast<vr::IVRResources *>(resources_.get());
      }
    }
    const vr::EVRInitError result = found ? vr::VRInitError_None : vr::VRInitError_Init_InterfaceNotFound;
    if (error != nullptr) *error = result;
    Record({{"call", "GetGenericInterface"},
            {"version", version ? nlohmann::json(name) : nlohmann::json(nullptr)},
            {"error", static_cast<int>(result)},
            {"result", found != nullptr}});
    return found;
  });
}

vr::DriverHandle_t SubstituteHost::GetDriverHandle() {
  return Guarded<vr::DriverHandle_t>("GetDriverHandle", kDriverHandle, [&] {
    Record({{"call", "GetDriverHandle"}, {"result", kDriverHandle}});
    return kDriverHandle;
  });
}

// ---- settings ----

bool SubstituteHost::LoadDefaultSettings(const std::filesystem::path &defaultVrsettings, std::string &error) {
  std::ifstream in(defaultVrsettings);
  if (!in) {
    error = "cannot read " + defaultVrsettings.string();
    return false;
  }
  nlohmann::json document = nlohmann::json::parse(in, nullptr, false, true);
  if (document.is_discarded() || !document.is_object()) {
    error = defaultVrsettings.string() + " is not a JSON object of sections";
    return false;
  }
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  for (const auto &[section, keys] : document.items()) {
    if (!keys.is_object()) continue;  // not a section
    for (const auto &[key, value] : keys.items()) {
      if (value.is_primitive() && !value.is_null()) settingStore_[section][key] = value;
    }
  }
  return true;
}

void SubstituteHost::SetSetting(const std::string &section, const std::string &key, const nlohmann::json &value) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  settingStore_[section][key] = value;
}

bool SubstituteHost::ApplySetOption(const std::string &text, std::string &error) {
  const size_t equals = text.find('=');
  const size_t dot = text.find('.');
  if (equals == std::string::npos || dot == std::string::npos || dot > equals || dot == 0 || dot + 1 == equals) {
    error = "--set expects section.key=value, got '" + text + "'";
    return false;
  }
  const std::string section = text.substr(0, dot);
  const std::string key = text.substr(dot + 1, equals - dot - 1);
  const std::string raw = text.substr(equals + 1);
  nlohmann::json value = nlohmann::json::parse(raw, nullptr, false);
  if (value.is_discarded() || !(value.is_number() || value.is_boolean() || value.is_string())) value = raw;
  SetSetting(section, key, value);
  return true;
}

std::optional<nlohmann::json> SubstituteHost::Setting(const std::string &section, const std::string &key) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto s = settingStore_.find(section);
  if (s == settingStore_.end()) return std::nullopt;
  auto k = s->second.find(key);
  if (k == s->second.end()) return std::nullopt;
  return k->second;
}

// ---- frames ----

void SubstituteHost::BeginFrame(double simSeconds) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  simSeconds_ = simSeconds;
  if (options_.activation != HostOptions::Activation::Deferred) return;
  for (uint32_t i = 0; i < devices_.size(); ++i) {
    if (devices_[i].pendingActivation) ActivateDevice(i);
  }
}

double SubstituteHost::SimSeconds() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return simSeconds_;
}

void SubstituteHost::SetRawPose(uint32_t deviceIndex, const vr::TrackedDevicePose_t &pose) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (deviceIndex < pinnedPoses_.size()) pinnedPoses_[deviceIndex] = pose;
}

void SubstituteHost::ClearRawPose(uint32_t deviceIndex) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (deviceIndex < pinnedPoses_.size()) pinnedPoses_[deviceIndex].reset();
}

void SubstituteHost::QueueEvent(uint32_t eventType, uint32_t deviceIndex) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  vr::VREvent_t event;
  std::memset(&event, 0, sizeof event);
  event.eventType = eventType;
  event.trackedDeviceIndex = deviceIndex;
  events_.push_back(event);
}

void SubstituteHost::SetControllerRoleHint(uint32_t deviceIndex, int32_t role) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (deviceIndex == 0 || deviceIndex > options_.controllers) return;
  StoreHostProperty(deviceIndex, vr::Prop_ControllerRoleHint_Int32, vr::k_unInt32PropertyTag, &role, sizeof role);
}

vr::TrackedDevicePose_t SubstituteHost::RawPose(uint32_t deviceIndex, float predictedSeconds) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  vr::TrackedDevicePose_t pose;
  std::memset(&pose, 0, sizeof pose);
  if (deviceIndex >= devices_.size()) return pose;
  if (pinnedPoses_[deviceIndex]) return *pinnedPoses_[deviceIndex];
  const double t = simSeconds_ + static_cast<double>(predictedSeconds);
  if (deviceIndex == vr::k_unTrackedDeviceIndex_Hmd) {
    if (options_.headset != HostOptions::Headset::Off) pose = ToTrackedPose(HeadsetMotion(options_.headset, t));
    return pose;
  }
  if (deviceIndex <= options_.controllers) {
    return ToTrackedPose(ControllerMotion(
        deviceIndex,
        Int32Property(deviceIndex, vr::Prop_ControllerRoleHint_Int32).value_or(vr::TrackedControllerRole_Invalid), t));
  }
  const DeviceSlot &slot = devices_[deviceIndex];
  if (slot.present && slot.hasPose) pose = WorldPoseFrom(slot.lastPose);
  return pose;
}

// ---- observations ----

void SubstituteHost::ClearObservations() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  announcements_.clear();
  propertyWrites_.clear();
  propertyReads_.clear();
  poseUpdates_.clear();
  settingAccesses_.clear();
  logLines_.clear();
  callNames_.clear();
  anomalies_.clear();
  rawPoseFetches_ = 0;
  eventPolls_ = 0;
  poseUpdatesForgotten_ = 0;
}

void SubstituteHost::ForgetFrameHistory() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  poseUpdatesForgotten_ += poseUpdates_.size();
  poseUpdates_.clear();
  callNames_.clear();
}

const SubstituteHost::StoredProperty *SubstituteHost::FindProperty(uint32_t deviceIndex,
                                                                   vr::ETrackedDeviceProperty prop) const {
  auto it = propertyStore_.find({deviceIndex, static_cast<uint32_t>(prop)});
  if (it == propertyStore_.end() || it->second.storedError != vr::TrackedProp_Success) return nullptr;
  return &it->second;
}

std::optional<std::string> SubstituteHost::StringProperty(uint32_t deviceIndex, vr::ETrackedDeviceProperty prop) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const StoredProperty *p = FindProperty(deviceIndex, prop);
  if (!p || p->tag != vr::k_unStringPropertyTag) return std::nullopt;
  const auto nul = std::find(p->bytes.begin(), p->bytes.end(), uint8_t{0});
  return std::string(p->bytes.begin(), nul);
}

namespace {
template <typename T>
std::optional<T> Scalar(const std::vector<uint8_t> &bytes) {
  if (bytes.size() != sizeof(T)) return std::nullopt;
  T value;
  std::memcpy(&value, bytes.data(), sizeof(T));
  return value;
}
}  // namespace

std::optional<int32_t> SubstituteHost::Int32Property(uint32_t deviceIndex, vr::ETrackedDeviceProperty prop) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const StoredProperty *p = FindProperty(deviceIndex, prop);
  if (!p || p->tag != vr::k_unInt32PropertyTag) return std::nullopt;
  return Scalar<int32_t>(p->bytes);
}

std::optional<float> SubstituteHost::FloatProperty(uint32_t deviceIndex, vr::ETrackedDeviceProperty prop) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const StoredProperty *p = FindProperty(deviceIndex, prop);
  if (!p || p->tag != vr::k_unFloatPropertyTag) return std::nullopt;
  return Scalar<float>(p->bytes);
}

std::optional<bool> SubstituteHost::BoolProperty(uint32_t deviceIndex, vr::ETrackedDeviceProperty prop) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const StoredProperty *p = FindProperty(deviceIndex, prop);
  if (!p || p->tag != vr::k_unBoolPropertyTag || p->bytes.size() != 1) return std::nullopt;
  return p->bytes[0] != 0;
}

void SubstituteHost::StoreHostProperty(uint32_t deviceIndex, vr::ETrackedDeviceProperty prop, vr::PropertyTypeTag_t tag,
                                       const void *data, size_t size) {
  StoredProperty &p = propertyStore_[{deviceIndex, static_cast<uint32_t>(prop)}];
  p.tag = tag;
  p.storedError = vr::TrackedProp_Success;
  const auto *bytes = static_cast<const uint8_t *>(data);
  p.bytes.assign(bytes, bytes + size);
}

// ---- host -> driver ----

vr::IServerTrackedDeviceProvider *SubstituteHost::CallProvider(LoadedDriver &driver, std::string &error) {
  SetDriverFolder(driver.Folder(), driver.Name());
  vr::IServerTrackedDeviceProvider *provider = driver.Provider(error);
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Record({{"call", "HmdDriverFactory"},
          {"interface", vr::IServerTrackedDeviceProvider_Version},
          {"returnCode", driver.LastReturnCode()},
          {"result", provider != nullptr}});
  return provider;
}

std::vector<std::string> SubstituteHost::CallGetInterfaceVersions(vr::IServerTrackedDeviceProvider *provider) {
  std::vector<std::string> versions;
  if (provider == nullptr) return versions;
  const char *const *list = provider->GetInterfaceVersions();
  // A list without its terminating null would run on forever; 64 entries is far beyond any SDK.
  for (size_t i = 0; list != nullptr && i < 64 && list[i] != nullptr; ++i) versions.emplace_back(list[i]);
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Record({{"call", "GetInterfaceVersions"}, {"result", versions}});
  return versions;
}

vr::EVRInitError SubstituteHost::CallInit(vr::IServerTrackedDeviceProvider *provider) {
  if (provider == nullptr) return vr::VRInitError_Init_InvalidInterface;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Record({{"call", "Init"}, {"phase", "enter"}});
  }
  const vr::EVRInitError result = provider->Init(this);
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  Record({{"call", "Init"}, {"phase", "return"}, {"result", static_cast<int>(result)}}, false);
  return result;
}

void SubstituteHost::CallRunFrame(vr::IServerTrackedDeviceProvider *provider) {
  if (provider == nullptr) return;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Record({{"call", "RunFrame"}, {"simSeconds", simSeconds_}, {"frame", frameCount_}});
    ++frameCount_;
  }
  provider->RunFrame();
}

void SubstituteHost::CallCleanup(vr::IServerTrackedDeviceProvider *provider) {
  if (provider == nullptr) return;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Record({{"call", "Cleanup"}});
  }
  provider->Cleanup();
}

void SubstituteHost::ActivateDevice(uint32_t deviceIndex) {
  DeviceSlot &slot = devices_[deviceIndex];
  slot.pendingActivation = false;
  if (slot.driver == nullptr || slot.activated) return;
  Record({{"call", "Activate"}, {"phase", "enter"}, {"serial", slot.serial}, {"deviceIndex", deviceIndex}});
  const vr::EVRInitError result = slot.driver->Activate(deviceIndex);
  // A device that fails Activate stays announced but is never deactivated.
  slot.activated = result == vr::VRInitError_None;
  Record(
      {{"call", "Activate"}, {"phase", "return"}, {"deviceIndex", deviceIndex}, {"result", static_cast<int>(result)}},
      false);
}

void SubstituteHost::DeactivateAll() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  for (uint32_t i = 0; i < devices_.size(); ++i) {
    DeviceSlot &slot = devices_[i];
    slot.pendingActivation = false;
    if (!slot.activated || slot.driver == nullptr) continue;
    Record({{"call", "Deactivate"}, {"serial", slot.serial}, {"deviceIndex", i}});
    slot.activated = false;
    slot.driver->Deactivate();
  }
}

vr::ITrackedDeviceServerDriver *SubstituteHost::Device(uint32_t deviceIndex) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return deviceIndex < devices_.size() ? devices_[deviceIndex].driver : nullptr;
}

bool SubstituteHost::IsActivated(uint32_t deviceIndex) const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return deviceIndex < devices_.size() && devices_[deviceIndex].activated;
}

std::optional<uint32_t> SubstituteHost::NextFreeIndex() const {
  for (uint32_t i = options_.controllers + 1; i < devices_.size(); ++i) {
    if (!devices_[i].present) return i;
  }
  return std::nullopt;
}

// ---- record ----

void SubstituteHost::Record(nlohmann::ordered_json entry, bool newCall) {
  if (newCall) callNames_.push_back(entry.value("call", std::string("?")));
  recorder_->Write(entry);
}

void SubstituteHost::NoteAnomaly(const std::string &call, const std::string &what) {
  anomalies_.push_back(call + ": " + what);
  recorder_->Write({{"call", "Anomaly"}, {"in", call}, {"what", what}});
}

}  // namespace vantrels::host
