#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrels {

// Every datagram between the tracking server and the driver starts with these four bytes.
inline constexpr char kMagic[4] = {'V', 'N', 'T', 'R'};
// The protocol version this driver speaks: it sends 4 and accepts POSES of versions 1 to 4.
inline constexpr uint8_t kProtocolVersion = 4;
inline constexpr size_t kCommonHeaderSize = 8;

enum class MessageType : uint8_t {
  Poses = 1,      // tracking server to driver
  HostPoses = 2,  // driver to tracking server
};

// The decoded header of a POSES message. Fields a version does not carry stay 0 / false.
struct PosesHeader {
  uint8_t version = 0;
  uint8_t smoothingMs = 0;
  bool hasServerTime = false;
  uint32_t serverTimeUs = 0;
  bool prediction = false;
  bool adaptiveSmoothing = false;
};

// One body point record of a POSES message, floats exactly as sent.
struct PointSample {
  uint8_t index = 0;
  bool valid = false;
  bool charging = false;
  uint8_t batteryPercent = 0;
  float position[3] = {0.0f, 0.0f, 0.0f};
  float rotation[4] = {0.0f, 0.0f, 0.0f, 0.0f};  // x, y, z, w
  float headOffset[3] = {0.0f, 0.0f, 0.0f};
  bool headRelative = false;
};

// Checks a received datagram and decodes it when it is a POSES message this driver accepts.
// `points` is emptied first and refilled (its storage is reused). When `header` is given, its
// version is set as soon as the datagram is known to be a POSES message, so a rejection
// after that point still shows which version was sent. The caller clears the header.
bool ParsePoses(const uint8_t *data, size_t size, std::vector<PointSample> &points, PosesHeader *header);

}  // namespace vantrels
