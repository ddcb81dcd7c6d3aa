// Writes the call record: one JSON object per line, {"call": <method>, ...arguments...,
// "result": ...}, flushed line by line so that a crash of the driver keeps the record intact.
#pragma once

#include <openvr_driver.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

namespace vantrels::host {

class CallRecorder {
 public:
  // An empty path records nothing.
  explicit CallRecorder(const std::filesystem::path &path);
  bool Ok() const { return ok_; }
  const std::string &Error() const { return error_; }
  void Write(const nlohmann::ordered_json &entry);

 private:
  std::ofstream out_;
  bool ok_ = true;
  std::string error_;
};

// JSON forms of the records that cross the interface.
nlohmann::ordered_json PoseJson(const vr::DriverPose_t &pose);
nlohmann::ordered_json TrackedPoseJson(const vr::TrackedDevicePose_t &pose);
// A property value decoded by its type tag: number, bool or text; other tags as hex bytes.
nlohmann::ordered_json PropertyValueJson(uint32_t tag, const uint8_t *bytes, size_t size);
const char *PropertyTypeName(uint32_t tag);

}  // namespace vantrels::host
