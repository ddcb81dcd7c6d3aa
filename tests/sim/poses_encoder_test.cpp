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

PointRecord SampleRecord(uint8_t index) {
  PointRecord r;
  r.index = index;
  r.valid = true;
  r.charging = true;
  r.headRelative = true;
  r.batteryPercent = 42;
  r.position[0] = 1.5f;
  r.position[1] = -2.25f;
  r.position[2] = 3.0f;
  r.rotation[0] = 0.1f;
  r.rotation[1] = 0.2f;
  r.rotation[2] = 0.3f;
  r.rotation[3] = 0.9f;
  r.headOffset[0] = 0.01f;
  r.headOffset[1] = -0.08f;
  r.headOffset[2] = 0.09f;
  return r;
}

PosesSettings Settings(uint8_t version) {
  PosesSettings s;
  s.version = version;
  s.smoothingMs = 77;
  s.prediction = true;
  s.adaptiveSmoothing = true;
  s.serverTimeUs = 0x80000001u;
  return s;
}

TEST(PosesEncoder, HeaderAndSizesForEveryVersion) {
  const std::vector<PointRecord> records = {SampleRecord(0), SampleRecord(5)};
  for (uint8_t version = 1; version <= 4; ++version) {
    SCOPED_TRACE(static_cast<int>(version));
    const std::vector<uint8_t> b = EncodePoses(Settings(version), records);
    const size_t header = version == 4 ? 16 : 8;
    const size_t record = version == 1 ? 32 : 44;
    ASSERT_EQ(b.size(), header + 2 * record);
    EXPECT_EQ(std::memcmp(b.data(), "VNTR", 4), 0);
    EXPECT_EQ(b[4], version);
    EXPECT_EQ(b[5], 1);
    EXPECT_EQ(b[6], 2);
    // Smoothing has a place only from version 3 on.
    EXPECT_EQ(b[7], version >= 3 ? 77 : 0);
    if (version == 4) {
      EXPECT_EQ(U32At(b, 8), 0x80000001u);
      EXPECT_EQ(b[8], 0x01);
      EXPECT_EQ(b[11], 0x80);
      EXPECT_EQ(b[12], 0x03);
      EXPECT_EQ(b[13] | b[14] | b[15], 0);
    }
    EXPECT_EQ(b[header + record], 5) << "second record starts right after the first";
  }
}

TEST(PosesEncoder, RecordLayoutAndFlagsPerVersion) {
  const std::vector<PointRecord> records = {SampleRecord(9)};
  for (uint8_t version = 1; version <= 4; ++version) {
    SCOPED_TRACE(static_cast<int>(version));
    const std::vector<uint8_t> b = EncodePoses(Settings(version), records);
    const size_t r = version == 4 ? 16 : 8;
    EXPECT_EQ(b[r + 0], 9);
    // valid | charging, and head-relative only where the version defines it.
    EXPECT_EQ(b[r + 1], version >= 3 ? 0x07 : 0x03);
    EXPECT_EQ(b[r + 2], 42);
    EXPECT_EQ(b[r + 3], 0);
    EXPECT_EQ(FloatAt(b, r + 4), 1.5f);
    EXPECT_EQ(FloatAt(b, r + 8), -2.25f);
    EXPECT_EQ(FloatAt(b, r + 12), 3.0f);
    EXPECT_EQ(FloatAt(b, r + 16), 0.1f);  // x, y, z, w on the wire
    EXPECT_EQ(FloatAt(b, r + 28), 0.9f);
    if (version >= 2) {
      EXPECT_EQ(FloatAt(b, r + 32), 0.01f);
      EXPECT_EQ(FloatAt(b, r + 36), -0.08f);
      EXPECT_EQ(FloatAt(b, r + 40), 0.09f);
    }
  }
}

TEST(PosesEncoder, FlagsAndEmptyMessages) {
  PosesSettings s = Settings(4);
  s.prediction = false;
  s.adaptiveSmoothing = true;
  PointRecord lost = SampleRecord(16);
  lost.valid = false;
  lost.charging = false;
  lost.headRelative = false;
  lost.batteryPercent = 255;
  std::vector<uint8_t> b = EncodePoses(s, std::vector<PointRecord>{lost});
  EXPECT_EQ(b[12], 0x02);
  EXPECT_EQ(b[16 + 1], 0x00);
  EXPECT_EQ(b[16 + 2], 255);

  b = EncodePoses(Settings(1), {});
  EXPECT_EQ(b.size(), 8u);
  EXPECT_EQ(b[6], 0);
}

TEST(PosesEncoder, RejectsWhatCannotBeEncoded) {
  EXPECT_THROW(EncodePoses(Settings(0), {}), std::invalid_argument);
  EXPECT_THROW(EncodePoses(Settings(5), {}), std::invalid_argument);
  const std::vector<PointRecord> tooMany(256);
  EXPECT_THROW(EncodePoses(Settings(4), tooMany), std::invalid_argument);
  // A full datagram of the simulator still fits the driver's 2048-byte buffer.
  const std::vector<PointRecord> full(kMaxRecordsPerDatagram);
  EXPECT_LE(EncodePoses(Settings(4), full).size(), 2048u);
}

}  // namespace
}  // namespace vantrels::sim
