#pragma once

// Builds POSES datagrams byte by byte, the way a tracking server would, for tests.

#include <cstdint>
#include <cstring>
#include <vector>

namespace vantrels::testing {

struct Record {
  uint8_t index = 1;
  uint8_t flags = 0x01;  // valid
  uint8_t battery = 255;
  float position[3] = {0.0f, 1.0f, 0.0f};
  float rotation[4] = {0.0f, 0.0f, 0.0f, 1.0f};  // x, y, z, w
  float headOffset[3] = {0.0f, 0.0f, 0.0f};
};

inline void PutF32(std::vector<uint8_t> &out, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

inline void PutU32(std::vector<uint8_t> &out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

struct Poses {
  uint8_t version = 4;
  uint8_t smoothingMs = 0;
  uint32_t serverTimeUs = 0;
  uint8_t flags = 0x01;  // prediction
  std::vector<Record> records;

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out = {'V', 'N', 'T', 'R', version, 1, static_cast<uint8_t>(records.size()), smoothingMs};
    if (version == 4) {
      PutU32(out, serverTimeUs);
      out.push_back(flags);
      out.insert(out.end(), {0, 0, 0});
    }
    for (const Record &r : records) {
      out.insert(out.end(), {r.index, r.flags, r.battery, 0});
      for (float v : r.position) PutF32(out, v);
      for (float v : r.rotation) PutF32(out, v);
      if (version >= 2)
        for (float v : r.headOffset) PutF32(out, v);
    }
    return out;
  }
};

}  // namespace vantrels::testing
