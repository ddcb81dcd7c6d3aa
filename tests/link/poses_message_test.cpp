#include "link/poses_message.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/datagrams.h"

namespace vantrels {
namespace {

using testing::Poses;
using testing::Record;

struct Parsed {
  bool accepted;
  PosesHeader header;
  std::vector<PointSample> points;
};

Parsed Parse(const std::vector<uint8_t> &bytes) {
  Parsed p{};
  p.points.push_back(PointSample{});  // must be emptied even on rejection
  p.accepted = ParsePoses(bytes.data(), bytes.size(), p.points, &p.header);
  return p;
}

Poses Version(uint8_t version, size_t records = 0) {
  Poses m;
  m.version = version;
  m.records.resize(records);
  return m;
}

std::vector<uint8_t> Resized(std::vector<uint8_t> bytes, size_t size) {
  bytes.resize(size, 0xAB);
  return bytes;
}

// The header's version is known from the moment the datagram is known to be POSES, so it shows in a
// rejection after that point; before it, it stays 0.
TEST(ParsePoses, AcceptsOrRejectsByMagicTypeVersionAndLength) {
  const struct {
    std::vector<uint8_t> bytes;
    bool accepted;
    uint8_t version;
    size_t records;
  } cases[] = {
      {{}, false, 0, 0},
      {{'V', 'N', 'T', 'R', 4, 1, 0}, false, 0, 0},
      {{'N', 'V', 'T', 'R', 4, 1, 0, 0}, false, 0, 0},
      {{'V', 'N', 'T', 'R', 4, 2, 0, 0}, false, 0, 0},
      {Version(0).Bytes(), false, 0, 0},
      {Version(5, 1).Bytes(), false, 5, 0},
      {Version(255).Bytes(), false, 255, 0},
      {Version(4, 2).Bytes(), true, 4, 2},  // 16 + 2 x 44 = 104 bytes
      {Resized(Version(4, 2).Bytes(), 200), true, 4, 2},
      {Resized(Version(4, 2).Bytes(), 103), false, 4, 0},
      {Resized(Version(3, 1).Bytes(), 51), false, 3, 0},
      {Resized(Version(1, 2).Bytes(), 71), false, 1, 0},
      {Version(1).Bytes(), true, 1, 0},  // 8 bytes, no records
  };
  for (const auto &c : cases) {
    const Parsed p = Parse(c.bytes);
    EXPECT_EQ(p.accepted, c.accepted) << c.bytes.size();
    EXPECT_EQ(p.header.version, c.version) << c.bytes.size();
    EXPECT_EQ(p.points.size(), c.records) << c.bytes.size();
  }
}

TEST(ParsePoses, HeaderFieldsDependOnVersion) {
  Poses v2;
  v2.version = 2;
  v2.smoothingMs = 77;
  EXPECT_EQ(Parse(v2.Bytes()).header.smoothingMs, 0);

  Poses v3 = v2;
  v3.version = 3;
  const Parsed p3 = Parse(v3.Bytes());
  EXPECT_EQ(p3.header.smoothingMs, 77);
  EXPECT_FALSE(p3.header.hasServerTime);
  EXPECT_FALSE(p3.header.prediction);

  Poses v4;
  v4.smoothingMs = 40;
  v4.serverTimeUs = 0x80000001u;  // bytes 01 00 00 80
  v4.flags = 0x03;
  const Parsed p4 = Parse(v4.Bytes());
  EXPECT_TRUE(p4.header.hasServerTime);
  EXPECT_EQ(p4.header.serverTimeUs, 2147483649u);
  EXPECT_TRUE(p4.header.prediction);
  EXPECT_TRUE(p4.header.adaptiveSmoothing);
  EXPECT_EQ(p4.header.smoothingMs, 40);

  v4.flags = 0xFC;  // only the ignored bits
  const Parsed ignored = Parse(v4.Bytes());
  EXPECT_FALSE(ignored.header.prediction);
  EXPECT_FALSE(ignored.header.adaptiveSmoothing);
}

TEST(ParsePoses, RecordFlagsAndFieldsByVersion) {
  Record r;
  r.index = 7;
  r.flags = 0x07;
  r.battery = 42;
  r.position[0] = -1.5f;
  r.rotation[1] = 0.25f;
  r.headOffset[2] = 0.125f;

  Poses v2;
  v2.version = 2;
  v2.records = {r};
  const PointSample s2 = Parse(v2.Bytes()).points.at(0);
  EXPECT_TRUE(s2.valid);
  EXPECT_TRUE(s2.charging);
  EXPECT_FALSE(s2.headRelative);
  EXPECT_EQ(s2.index, 7);
  EXPECT_EQ(s2.batteryPercent, 42);
  EXPECT_EQ(s2.position[0], -1.5f);
  EXPECT_EQ(s2.rotation[1], 0.25f);
  EXPECT_EQ(s2.headOffset[2], 0.125f);

  Poses v3 = v2;
  v3.version = 3;
  EXPECT_TRUE(Parse(v3.Bytes()).points.at(0).headRelative);

  // Version 1 records are 32 bytes: no head offset even when bytes follow.
  Poses v1 = v2;
  v1.version = 1;
  std::vector<uint8_t> bytes = v1.Bytes();
  bytes.resize(bytes.size() + 12, 0x3F);
  const PointSample s1 = Parse(bytes).points.at(0);
  EXPECT_EQ(s1.headOffset[0], 0.0f);
  EXPECT_EQ(s1.headOffset[2], 0.0f);
  EXPECT_FALSE(s1.headRelative);
}

TEST(ParsePoses, FloatsAreCopiedBitForBit) {
  Record r;
  r.position[0] = std::nanf("");
  r.position[1] = -INFINITY;
  r.rotation[3] = -0.0f;
  Poses m;
  m.records = {r};
  const PointSample s = Parse(m.Bytes()).points.at(0);
  EXPECT_TRUE(std::isnan(s.position[0]));
  EXPECT_EQ(s.position[1], -INFINITY);
  EXPECT_TRUE(std::signbit(s.rotation[3]));
}

TEST(ParsePoses, WorksWithoutAHeaderAndReusesTheList) {
  Poses m;
  m.records = {Record{}, Record{}, Record{}};
  const std::vector<uint8_t> bytes = m.Bytes();
  std::vector<PointSample> points;
  ASSERT_TRUE(ParsePoses(bytes.data(), bytes.size(), points, nullptr));
  const PointSample *storage = points.data();
  ASSERT_TRUE(ParsePoses(bytes.data(), bytes.size(), points, nullptr));
  EXPECT_EQ(points.size(), 3u);
  EXPECT_EQ(points.data(), storage);
}

}  // namespace
}  // namespace vantrels
