// IVRServerDriverHost_006: device announcements, pose submissions, events and raw poses.
#include <chrono>
#include <cstring>

#include "host/call_recorder.h"
#include "host/host_interfaces.h"
#include "host/pose_convert.h"

namespace vantrels::host {

namespace {

// CLOCK_MONOTONIC on Linux, the clock the simulator stamps its ground truth with.
int64_t MonotonicNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

bool SubstituteHost::DriverHostImpl::TrackedDeviceAdded(const char *serial, vr::ETrackedDeviceClass deviceClass,
                                                        vr::ITrackedDeviceServerDriver *driver) {
  return host_.Guarded("TrackedDeviceAdded", false, [&] { return AddDevice(serial, deviceClass, driver); });
}

bool SubstituteHost::DriverHostImpl::AddDevice(const char *serial, vr::ETrackedDeviceClass deviceClass,
                                               vr::ITrackedDeviceServerDriver *driver) {
  const std::string serialText = ArgText(serial);
  ++host_.announcementsSeen_;

  // The server refuses what it cannot track: no serial, no device object, a serial already in
  // use, no free index; then the configured refusal policy.
  std::string reason;
  if (serial == nullptr || serialText.empty()) {
    reason = "no serial number";
  } else if (driver == nullptr) {
    reason = "no device object";
  } else {
    for (const DeviceSlot &slot : host_.devices_) {
      if (slot.present && slot.serial == serialText) reason = "duplicate serial number";
    }
  }
  const HostOptions &options = host_.options_;
  if (reason.empty()) {
    if (options.refuse == HostOptions::Refuse::All) {
      reason = "refusal policy";
    } else if (options.refuse == HostOptions::Refuse::FirstN && host_.announcementsSeen_ <= options.refuseFirst) {
      reason = "refusal policy";
    }
  }
  std::optional<uint32_t> index;
  if (reason.empty()) {
    index = host_.NextFreeIndex();
    if (!index) reason = "no free device index";
  }

  const bool accepted = reason.empty();
  const uint32_t deviceIndex = accepted ? *index : vr::k_unTrackedDeviceIndexInvalid;
  host_.announcements_.push_back({serialText, deviceClass, driver, accepted, deviceIndex});
  nlohmann::ordered_json entry = {{"call", "TrackedDeviceAdded"},
                                  {"serial", serial ? nlohmann::json(serialText) : nlohmann::json(nullptr)},
                                  {"deviceClass", static_cast<int>(deviceClass)},
                                  {"driver", driver != nullptr},
                                  {"deviceIndex", accepted ? nlohmann::json(deviceIndex) : nlohmann::json(nullptr)},
                                  {"result", accepted}};
  if (!accepted) entry["reason"] = reason;
  host_.Record(entry);
  if (!accepted) return false;

  DeviceSlot &slot = host_.devices_[deviceIndex];
  slot = DeviceSlot{};
  slot.present = true;
  slot.fromDriver = true;
  slot.serial = serialText;
  slot.deviceClass = deviceClass;
  slot.driver = driver;
  const int32_t classValue = static_cast<int32_t>(deviceClass);
  host_.StoreHostProperty(deviceIndex, vr::Prop_DeviceClass_Int32, vr::k_unInt32PropertyTag, &classValue,
                          sizeof classValue);

  switch (options.activation) {
    case HostOptions::Activation::Sync:
      host_.ActivateDevice(deviceIndex);
      break;
    case HostOptions::Activation::Deferred:
      slot.pendingActivation = true;
      break;
    case HostOptions::Activation::Never:
      break;
  }
  return true;
}

void SubstituteHost::DriverHostImpl::TrackedDevicePoseUpdated(uint32_t deviceIndex, const vr::DriverPose_t &pose,
                                                              uint32_t size) {
  host_.GuardedVoid("TrackedDevicePoseUpdated", [&] {
    const int64_t now = MonotonicNs();
    nlohmann::ordered_json entry = {
        {"call", "TrackedDevicePoseUpdated"}, {"deviceIndex", deviceIndex}, {"size", size}, {"monotonicNs", now}};
    // A record of another size is another struct version: do not read a byte of it.
    // A reference made from a null pointer still arrives as address 0; the volatile read keeps
    // the compiler from assuming it away.
    const vr::DriverPose_t *volatile address = &pose;
    if (address == nullptr) {
      entry["anomaly"] = "null pose";
      host_.Record(entry);
      host_.anomalies_.push_back("TrackedDevicePoseUpdated: null pose");
      return;
    }
    if (size != sizeof(vr::DriverPose_t)) {
      entry["anomaly"] = "pose size " + std::to_string(size) + ", expected " + std::to_string(sizeof(vr::DriverPose_t));
      host_.Record(entry);
      host_.anomalies_.push_back("TrackedDevicePoseUpdated: " + entry["anomaly"].get<std::string>());
      return;
    }
    vr::DriverPose_t copy;
    std::memcpy(&copy, address, sizeof copy);
    entry["pose"] = PoseJson(copy);
    if (QuaternionNormError(copy) > 1e-3) entry["anomaly"] = "quaternion not of unit length";
    const bool known = deviceIndex < host_.devices_.size() && host_.devices_[deviceIndex].present &&
                       host_.devices_[deviceIndex].fromDriver;
    if (!known) entry["anomaly"] = "not a device of this driver";
    host_.Record(entry);
    if (entry.contains("anomaly")) {
      host_.anomalies_.push_back("TrackedDevicePoseUpdated: " + entry["anomaly"].get<std::string>());
    }
    host_.poseUpdates_.push_back({deviceIndex, copy, size, now});
    if (known) {
      DeviceSlot &slot = host_.devices_[deviceIndex];
      slot.lastPose = copy;
      slot.hasPose = true;
    }
  });
}

void SubstituteHost::DriverHostImpl::VsyncEvent(double vsyncTimeOffsetSeconds) {
  host_.GuardedVoid("VsyncEvent", [&] {
    host_.Record({{"call", "VsyncEvent"}, {"vsyncTimeOffsetSeconds", vsyncTimeOffsetSeconds}});
  });
}

void SubstituteHost::DriverHostImpl::VendorSpecificEvent(uint32_t deviceIndex, vr::EVREventType eventType,
                                                         const vr::VREvent_Data_t &, double eventTimeOffset) {
  host_.GuardedVoid("VendorSpecificEvent", [&] {
    host_.Record({{"call", "VendorSpecificEvent"},
                  {"deviceIndex", deviceIndex},
                  {"eventType", static_cast<uint32_t>(eventType)},
                  {"eventTimeOffset", eventTimeOffset}});
  });
}

bool SubstituteHost::DriverHostImpl::IsExiting() {
  return host_.Guarded("IsExiting", false, [&] {
    host_.Record({{"call", "IsExiting"}, {"result", false}});
    return false;
  });
}

bool SubstituteHost::DriverHostImpl::PollNextEvent(vr::VREvent_t *event, uint32_t size) {
  return host_.Guarded("PollNextEvent", false, [&] {
    ++host_.eventPolls_;
    nlohmann::ordered_json entry = {{"call", "PollNextEvent"}, {"size", size}};
    bool taken = false;
    if (event == nullptr) {
      entry["anomaly"] = "null event";
    } else if (size < sizeof(vr::VREvent_t)) {
      // Too small for one record: writing it would overrun the caller's buffer.
      entry["anomaly"] =
          "buffer of " + std::to_string(size) + " bytes, an event needs " + std::to_string(sizeof(vr::VREvent_t));
    } else {
      if (size != sizeof(vr::VREvent_t)) {
        entry["anomaly"] = "size " + std::to_string(size) + " is not this platform's event size " +
                           std::to_string(sizeof(vr::VREvent_t));
      }
      if (!host_.events_.empty()) {
        const vr::VREvent_t next = host_.events_.front();
        host_.events_.pop_front();
        std::memcpy(event, &next, sizeof next);  // never more than one record, whatever size says
        entry["eventType"] = next.eventType;
        entry["trackedDeviceIndex"] = next.trackedDeviceIndex;
        taken = true;
      }
    }
    entry["result"] = taken;
    if (entry.contains("anomaly")) {
      host_.anomalies_.push_back("PollNextEvent: " + entry["anomaly"].get<std::string>());
    }
    host_.Record(entry);
    return taken;
  });
}

void SubstituteHost::DriverHostImpl::GetRawTrackedDevicePoses(float predictedSeconds, vr::TrackedDevicePose_t *poses,
                                                              uint32_t count) {
  host_.GuardedVoid("GetRawTrackedDevicePoses", [&] {
    ++host_.rawPoseFetches_;
    const uint32_t filled = poses ? std::min(count, vr::k_unMaxTrackedDeviceCount) : 0;
    for (uint32_t i = 0; i < filled; ++i) poses[i] = host_.RawPose(i, predictedSeconds);
    // Compact: the poses are the host's own, reproducible from the simulation time.
    host_.Record({{"call", "GetRawTrackedDevicePoses"},
                  {"predictedSeconds", predictedSeconds},
                  {"count", count},
                  {"filled", filled},
                  {"simSeconds", host_.simSeconds_}});
    if (poses == nullptr && count > 0) host_.anomalies_.push_back("GetRawTrackedDevicePoses: null array");
  });
}

void SubstituteHost::DriverHostImpl::RequestRestart(const char *reason, const char *executable, const char *arguments,
                                                    const char *workingDirectory) {
  host_.GuardedVoid("RequestRestart", [&] {
    host_.Record({{"call", "RequestRestart"},
                  {"reason", ArgText(reason)},
                  {"executable", ArgText(executable)},
                  {"arguments", ArgText(arguments)},
                  {"workingDirectory", ArgText(workingDirectory)}});
  });
}

uint32_t SubstituteHost::DriverHostImpl::GetFrameTimings(vr::Compositor_FrameTiming *, uint32_t frames) {
  return host_.Guarded("GetFrameTimings", 0u, [&] {
    // No compositor here: no timings to give.
    host_.Record({{"call", "GetFrameTimings"}, {"frames", frames}, {"result", 0}});
    return 0u;
  });
}

void SubstituteHost::DriverHostImpl::SetDisplayEyeToHead(uint32_t deviceIndex, const vr::HmdMatrix34_t &,
                                                         const vr::HmdMatrix34_t &) {
  host_.GuardedVoid("SetDisplayEyeToHead", [&] {
    host_.Record({{"call", "SetDisplayEyeToHead"}, {"deviceIndex", deviceIndex}});
  });
}

void SubstituteHost::DriverHostImpl::SetDisplayProjectionRaw(uint32_t deviceIndex, const vr::HmdRect2_t &,
                                                             const vr::HmdRect2_t &) {
  host_.GuardedVoid("SetDisplayProjectionRaw", [&] {
    host_.Record({{"call", "SetDisplayProjectionRaw"}, {"deviceIndex", deviceIndex}});
  });
}

void SubstituteHost::DriverHostImpl::SetRecommendedRenderTargetSize(uint32_t deviceIndex, uint32_t width,
                                                                    uint32_t height) {
  host_.GuardedVoid("SetRecommendedRenderTargetSize", [&] {
    host_.Record({{"call", "SetRecommendedRenderTargetSize"},
                  {"deviceIndex", deviceIndex},
                  {"width", width},
                  {"height", height}});
  });
}

}  // namespace vantrels::host
