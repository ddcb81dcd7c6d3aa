#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrels::sim {

// The driver's per-frame report of where the headset and the hand controllers are.
struct ControllerPose {
  uint8_t role = 0;  // 0 no hand, 1 left hand, 2 right hand
  float position[3] = {0.0f, 0.0f, 0.0f};
  float rotation[4] = {0.0f, 0.0f, 0.0f, 1.0f};  // x, y, z, w
};

struct HostReport {
  bool headsetValid = false;
  float headsetPosition[3] = {0.0f, 0.0f, 0.0f};
  float headsetRotation[4] = {0.0f, 0.0f, 0.0f, 1.0f};  // x, y, z, w
  std::vector<ControllerPose> controllers;
};

inline constexpr size_t kHostReportHeaderSize = 40;
inline constexpr size_t kControllerRecordSize = 32;
inline constexpr size_t kMaxReportedControllers = 16;

// Decodes a host pose report: magic, version 4, type 2, at most 16 controllers and exactly
// 40 + 32 n bytes. Anything else is malformed and gives false, leaving `report` unspecified.
bool DecodeHostReport(const uint8_t *data, size_t size, HostReport &report);

const char *RoleName(uint8_t role);

}  // namespace vantrels::sim
