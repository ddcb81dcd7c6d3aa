#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vantrels::sim {

// A body point datagram carries at most this many 44-byte records, so that it fits the
// driver's 2048-byte receive buffer after the 16-byte header.
inline constexpr size_t kMaxRecordsPerDatagram = 46;

// The header fields a POSES message can carry. Fields the chosen version has no room for are
// not written: smoothing needs version 3, the time stamp and the two flags need version 4.
struct PosesSettings {
  uint8_t version = 4;
  uint8_t smoothingMs = 0;
  bool prediction = true;
  bool adaptiveSmoothing = false;
  uint32_t serverTimeUs = 0;
};

// One body point record as it goes on the wire. Rotation order is x, y, z, w.
struct PointRecord {
  uint8_t index = 0;
  bool valid = true;
  bool charging = false;
  bool headRelative = false;  // written from version 3 on
  uint8_t batteryPercent = 255;
  float position[3] = {0.0f, 0.0f, 0.0f};
  float rotation[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  float headOffset[3] = {0.0f, 0.0f, 0.0f};  // written from version 2 on
};

size_t PosesHeaderSize(uint8_t version);
size_t PosesRecordSize(uint8_t version);

// Builds one POSES datagram of the given version (1 to 4) holding all records, in order.
// Throws std::invalid_argument for another version or more than 255 records.
std::vector<uint8_t> EncodePoses(const PosesSettings &settings, std::span<const PointRecord> records);

}  // namespace vantrels::sim
