#include "poses_encoder.h"

#include <bit>
#include <stdexcept>

#include "link/poses_message.h"

namespace vantrels::sim {

namespace {

void PutU32(uint8_t *out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutFloats(uint8_t *out, const float *values, int n) {
  for (int i = 0; i < n; ++i) PutU32(out + 4 * i, std::bit_cast<uint32_t>(values[i]));
}

}  // namespace

size_t PosesHeaderSize(uint8_t version) {
  return version >= 4 ? 16 : kCommonHeaderSize;
}

size_t PosesRecordSize(uint8_t version) {
  return version == 1 ? 32 : 44;
}

std::vector<uint8_t> EncodePoses(const PosesSettings &settings, std::span<const PointRecord> records) {
  const uint8_t version = settings.version;
  if (version < 1 || version > 4) throw std::invalid_argument("POSES version must be 1 to 4");
  if (records.size() > 255) throw std::invalid_argument("a POSES message holds at most 255 records");

  const size_t headerSize = PosesHeaderSize(version);
  const size_t recordSize = PosesRecordSize(version);
  std::vector<uint8_t> out(headerSize + records.size() * recordSize, 0);
  for (int i = 0; i < 4; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>(kMagic[i]);
  out[4] = version;
  out[5] = static_cast<uint8_t>(MessageType::Poses);
  out[6] = static_cast<uint8_t>(records.size());
  if (version >= 3) out[7] = settings.smoothingMs;
  if (version >= 4) {
    PutU32(out.data() + 8, settings.serverTimeUs);
    out[12] = static_cast<uint8_t>((settings.prediction ? 0x01 : 0) | (settings.adaptiveSmoothing ? 0x02 : 0));
  }

  uint8_t *rec = out.data() + headerSize;
  for (const PointRecord &r : records) {
    rec[0] = r.index;
    rec[1] = static_cast<uint8_t>((r.valid ? 0x01 : 0) | (r.charging ? 0x02 : 0) |
                                  (version >= 3 && r.headRelative ? 0x04 : 0));
    rec[2] = r.batteryPercent;
    PutFloats(rec + 4, r.position, 3);
    PutFloats(rec + 16, r.rotation, 4);
    if (version >= 2) PutFloats(rec + 32, r.headOffset, 3);
    rec += recordSize;
  }
  return out;
}

}  // namespace vantrels::sim
