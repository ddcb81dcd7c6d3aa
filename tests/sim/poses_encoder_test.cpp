#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <vector>

#include "poses_encoder.h"

namespace vantrels::sim {
namespace {

uint32_t U32At(const std::vector<uint8_t> &b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 | static_cast<uint32_t>(b[at + 2]) << 16 |
         static_cast<uint32_t>(b[at + 3]) << 24;
}
float FloatAt(const std::vector<uint8_t> &b, size_t at) {
  return std::bit_cast<float>(U32At(b, at));
}

PosesSettings Settings(uint8_t version) {
  return {.version = version,
          .smoothingMs = 77,
          .prediction = true,
          .adaptiveSmoothing = true,
          .serverTimeUs = 0x80000001u};
}

TEST(PosesEncoder, HeaderAndRecordLayoutForEveryVersion) {
  const PointRecord record{.index = 9,
                           .valid = true,
                           .charging = true,
                           .headRelative = true,
                           .batteryPercent = 42,
                           .position = {1.5f, -2.25f, 3.0f},
                           .rotation = {0.1f, 0.2f, 0.3f, 0.9f},
                           .headOffset = {0.01f, -0.08f, 0.09f}};
  PointRecord second = record;
  second.index = 5;
  for (uint8_t version = 1; version <= 4; ++version) {
    SCOPED_TRACE(static_cast<int>(version));
    const std::vector<uint8_t> b = EncodePoses(Settings(version), std::vector<PointRecord>{record, second});
    const size_t r = version == 4 ? 16 : 8;
    const size_t size = version == 1 ? 32 : 44;
    ASSERT_EQ(b.size(), r + 2 * size);
    EXPECT_EQ(std::memcmp(b.data(), "VNTR", 4), 0);
    EXPECT_EQ(b[4], version);
    EXPECT_EQ(b[5], 1);
    EXPECT_EQ(b[6], 2);
    EXPECT_EQ(b[7], version >= 3 ? 77 : 0);  // smoothing has a place only from version 3 on
    if (version == 4) {
      EXPECT_EQ(U32At(b, 8), 0x80000001u);  // little-endian
      EXPECT_EQ(b[12], 0x03);               // prediction | adaptive
      EXPECT_EQ(b[13] | b[14] | b[15], 0);
    }
    EXPECT_EQ(b[r + 0], 9);
    EXPECT_EQ(b[r + 1], version >= 3 ? 0x07 : 0x03);  // valid | charging (| head-relative)
    EXPECT_EQ(b[r + 2], 42);
    EXPECT_EQ(b[r + 3], 0);
    const float expected[] = {1.5f, -2.25f, 3.0f, 0.1f, 0.2f, 0.3f, 0.9f, 0.01f, -0.08f, 0.09f};  // x, y, z, w
    for (size_t i = 0; i < (version >= 2 ? 10u : 7u); ++i) EXPECT_EQ(FloatAt(b, r + 4 + 4 * i), expected[i]) << i;
    EXPECT_EQ(b[r + size], 5) << "second record starts right after the first";
  }
}

TEST(PosesEncoder, ClearedFlagsEmptyAndRejectedMessages) {
  PosesSettings s = Settings(4);
  s.prediction = false;
  const PointRecord lost{.index = 16, .valid = false, .batteryPercent = 255};
  std::vector<uint8_t> b = EncodePoses(s, std::vector<PointRecord>{lost});
  EXPECT_EQ(b[12], 0x02);
  EXPECT_EQ(b[16 + 1], 0x00);
  EXPECT_EQ(b[16 + 2], 255);
  b = EncodePoses(Settings(1), {});
  EXPECT_EQ(b.size(), 8u);
  EXPECT_EQ(b[6], 0);

  EXPECT_THROW(EncodePoses(Settings(0), {}), std::invalid_argument);
  EXPECT_THROW(EncodePoses(Settings(5), {}), std::invalid_argument);
  EXPECT_THROW(EncodePoses(Settings(4), std::vector<PointRecord>(256)), std::invalid_argument);
  // A full datagram of the simulator still fits the driver's 2048-byte buffer.
  EXPECT_LE(EncodePoses(Settings(4), std::vector<PointRecord>(kMaxRecordsPerDatagram)).size(), 2048u);
}

}  // namespace
}  // namespace vantrels::sim
