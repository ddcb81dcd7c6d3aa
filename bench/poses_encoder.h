// Builds POSES datagrams of any protocol version for the benchmarks: the byte layout the tracking
// server sends, little-endian, with single-precision numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vantrels::bench {

struct EncodedRecord {
  uint8_t index = 0;
  uint8_t flags = 0x01;  // bit 0 valid, bit 1 charging, bit 2 head-relative
  uint8_t battery = 80;
  float position[3] = {0.0f, 0.0f, 0.0f};
  float rotation[4] = {0.0f, 0.0f, 0.0f, 1.0f};  // x, y, z, w
  float headOffset[3] = {0.0f, 0.0f, 0.0f};
};

inline size_t PosesHeaderSize(uint8_t version) {
  return version >= 4 ? 16 : 8;
}
inline size_t PosesRecordSize(uint8_t version) {
  return version >= 2 ? 44 : 32;
}
inline size_t PosesSize(uint8_t version, size_t records) {
  return PosesHeaderSize(version) + records * PosesRecordSize(version);
}

// Byte offsets of the fields a benchmark rewrites between sends.
inline constexpr size_t kServerTimeOffset = 8;
inline size_t RecordOffset(uint8_t version, size_t i) {
  return PosesHeaderSize(version) + i * PosesRecordSize(version);
}

inline void PutU32(uint8_t *p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

inline void PutF32(uint8_t *p, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof(bits));
  PutU32(p, bits);
}

// Writes one record's pose at its place in an encoded datagram.
inline void PutRecordPose(std::vector<uint8_t> &bytes, uint8_t version, size_t i, const float (&position)[3],
                          const float (&rotation)[4]) {
  uint8_t *r = bytes.data() + RecordOffset(version, i);
  for (int k = 0; k < 3; ++k) PutF32(r + 4 + 4 * k, position[k]);
  for (int k = 0; k < 4; ++k) PutF32(r + 16 + 4 * k, rotation[k]);
}

// flags: bit 0 prediction, bit 1 adaptive smoothing (version 4).
inline std::vector<uint8_t> EncodePoses(uint8_t version, const std::vector<EncodedRecord> &records,
                                        uint8_t smoothingMs = 20, uint32_t serverTimeUs = 0, uint8_t flags = 0x03) {
  std::vector<uint8_t> bytes(PosesSize(version, records.size()), 0);
  std::memcpy(bytes.data(), "VNTR", 4);
  bytes[4] = version;
  bytes[5] = 1;
  bytes[6] = static_cast<uint8_t>(records.size());
  bytes[7] = smoothingMs;
  if (version >= 4) {
    PutU32(bytes.data() + kServerTimeOffset, serverTimeUs);
    bytes[12] = flags;
  }
  for (size_t i = 0; i < records.size(); ++i) {
    const EncodedRecord &rec = records[i];
    uint8_t *r = bytes.data() + RecordOffset(version, i);
    r[0] = rec.index;
    r[1] = rec.flags;
    r[2] = rec.battery;
    PutRecordPose(bytes, version, i, rec.position, rec.rotation);
    if (version >= 2)
      for (int k = 0; k < 3; ++k) PutF32(r + 32 + 4 * k, rec.headOffset[k]);
  }
  return bytes;
}

}  // namespace vantrels::bench
