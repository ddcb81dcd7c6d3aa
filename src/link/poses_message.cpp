#include "link/poses_message.h"

#include <cstring>

namespace vantrels {

namespace {

uint32_t ReadU32(const uint8_t *p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// Wire floats are little-endian IEEE single precision, copied bit for bit.
float ReadF32(const uint8_t *p) {
  const uint32_t bits = ReadU32(p);
  float value;
  std::memcpy(&value, &bits, sizeof(value));
  return value;
}

void ReadFloats(const uint8_t *p, float *out, int n) {
  for (int i = 0; i < n; ++i) out[i] = ReadF32(p + 4 * i);
}

}  // namespace

bool ParsePoses(const uint8_t *data, size_t size, std::vector<PointSample> &points, PosesHeader *header) {
  points.clear();
  if (size < kCommonHeaderSize || data == nullptr) return false;
  if (std::memcmp(data, kMagic, sizeof(kMagic)) != 0) return false;
  if (data[5] != static_cast<uint8_t>(MessageType::Poses)) return false;

  const uint8_t version = data[4];
  if (header != nullptr) {
    *header = PosesHeader{};
    header->version = version;
  }

  size_t recordSize = 0;
  size_t headerSize = kCommonHeaderSize;
  switch (version) {
    case 1:
      recordSize = 32;
      break;
    case 2:
    case 3:
      recordSize = 44;
      break;
    case 4:
      recordSize = 44;
      headerSize = 16;
      break;
    default:
      return false;
  }

  const size_t count = data[6];
  if (size < headerSize + count * recordSize) return false;

  PosesHeader decoded;
  decoded.version = version;
  decoded.smoothingMs = version >= 3 ? data[7] : 0;
  if (version == 4) {
    decoded.serverTimeUs = ReadU32(data + 8);
    decoded.prediction = (data[12] & 0x01) != 0;
    decoded.adaptiveSmoothing = (data[12] & 0x02) != 0;
    decoded.hasServerTime = true;
  }
  if (header != nullptr) *header = decoded;

  for (size_t i = 0; i < count; ++i) {
    const uint8_t *r = data + headerSize + i * recordSize;
    PointSample &s = points.emplace_back();
    s.index = r[0];
    s.valid = (r[1] & 0x01) != 0;
    s.charging = (r[1] & 0x02) != 0;
    s.headRelative = version >= 3 && (r[1] & 0x04) != 0;
    s.batteryPercent = r[2];
    ReadFloats(r + 4, s.position, 3);
    ReadFloats(r + 16, s.rotation, 4);
    if (version >= 2) ReadFloats(r + 32, s.headOffset, 3);
  }
  return true;
}

}  // namespace vantrels
