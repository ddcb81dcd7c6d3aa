#include "host/call_recorder.h"

#include <cstring>

namespace vantrels::host {

CallRecorder::CallRecorder(const std::filesystem::path &path) {
  if (path.empty()) return;
  out_.open(path, std::ios::out | std::ios::trunc);
  if (!out_) {
    ok_ = false;
    error_ = "cannot open record file " + path.string();
  }
}

void CallRecorder::Write(const nlohmann::ordered_json &entry) {
  if (!out_.is_open() || !out_) return;
  // Driver text need not be valid UTF-8; replace bad bytes instead of failing the line.
  out_ << entry.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  out_.flush();
}

namespace {

nlohmann::ordered_json Quaternion(const vr::HmdQuaternion_t &q) {
  return {{"w", q.w}, {"x", q.x}, {"y", q.y}, {"z", q.z}};
}

nlohmann::ordered_json Vector(const double (&v)[3]) {
  return nlohmann::ordered_json::array({v[0], v[1], v[2]});
}

nlohmann::ordered_json Vector(const float (&v)[3]) {
  return nlohmann::ordered_json::array({v[0], v[1], v[2]});
}

template <typename T>
T Load(const uint8_t *bytes) {
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

}  // namespace

nlohmann::ordered_json PoseJson(const vr::DriverPose_t &pose) {
  return {
      {"poseTimeOffset", pose.poseTimeOffset},
      {"qWorldFromDriverRotation", Quaternion(pose.qWorldFromDriverRotation)},
      {"vecWorldFromDriverTranslation", Vector(pose.vecWorldFromDriverTranslation)},
      {"qDriverFromHeadRotation", Quaternion(pose.qDriverFromHeadRotation)},
      {"vecDriverFromHeadTranslation", Vector(pose.vecDriverFromHeadTranslation)},
      {"vecPosition", Vector(pose.vecPosition)},
      {"vecVelocity", Vector(pose.vecVelocity)},
      {"vecAcceleration", Vector(pose.vecAcceleration)},
      {"qRotation", Quaternion(pose.qRotation)},
      {"vecAngularVelocity", Vector(pose.vecAngularVelocity)},
      {"vecAngularAcceleration", Vector(pose.vecAngularAcceleration)},
      {"result", static_cast<int>(pose.result)},
      {"poseIsValid", pose.poseIsValid},
      {"willDriftInYaw", pose.willDriftInYaw},
      {"shouldApplyHeadModel", pose.shouldApplyHeadModel},
      {"deviceIsConnected", pose.deviceIsConnected},
  };
}

nlohmann::ordered_json TrackedPoseJson(const vr::TrackedDevicePose_t &pose) {
  nlohmann::ordered_json matrix = nlohmann::ordered_json::array();
  for (const auto &row : pose.mDeviceToAbsoluteTracking.m) {
    matrix.push_back({row[0], row[1], row[2], row[3]});
  }
  return {
      {"mDeviceToAbsoluteTracking", matrix},
      {"vVelocity", Vector(pose.vVelocity.v)},
      {"vAngularVelocity", Vector(pose.vAngularVelocity.v)},
      {"eTrackingResult", static_cast<int>(pose.eTrackingResult)},
      {"bPoseIsValid", pose.bPoseIsValid},
      {"bDeviceIsConnected", pose.bDeviceIsConnected},
  };
}

const char *PropertyTypeName(uint32_t tag) {
  switch (tag) {
    case vr::k_unFloatPropertyTag:
      return "float";
    case vr::k_unInt32PropertyTag:
      return "int32";
    case vr::k_unUint64PropertyTag:
      return "uint64";
    case vr::k_unBoolPropertyTag:
      return "bool";
    case vr::k_unStringPropertyTag:
      return "string";
    case vr::k_unErrorPropertyTag:
      return "error";
    case vr::k_unDoublePropertyTag:
      return "double";
    case vr::k_unInvalidPropertyTag:
      return "invalid";
    default:
      return "other";
  }
}

nlohmann::ordered_json PropertyValueJson(uint32_t tag, const uint8_t *bytes, size_t size) {
  if (bytes == nullptr) return nullptr;
  switch (tag) {
    case vr::k_unFloatPropertyTag:
      if (size == sizeof(float)) return Load<float>(bytes);
      break;
    case vr::k_unInt32PropertyTag:
      if (size == sizeof(int32_t)) return Load<int32_t>(bytes);
      break;
    case vr::k_unUint64PropertyTag:
      if (size == sizeof(uint64_t)) return Load<uint64_t>(bytes);
      break;
    case vr::k_unBoolPropertyTag:
      if (size == 1) return bytes[0] != 0;
      break;
    case vr::k_unDoublePropertyTag:
      if (size == sizeof(double)) return Load<double>(bytes);
      break;
    case vr::k_unStringPropertyTag: {
      const void *nul = std::memchr(bytes, 0, size);
      size_t length = nul ? static_cast<size_t>(static_cast<const uint8_t *>(nul) - bytes) : size;
      return std::string(reinterpret_cast<const char *>(bytes), length);
    }
    default:
      break;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < size && i < 64; ++i) {
    hex += kHex[bytes[i] >> 4];
    hex += kHex[bytes[i] & 0xF];
  }
  if (size > 64) hex += "...";
  return {{"hex", hex}};
}

}  // namespace vantrels::host
