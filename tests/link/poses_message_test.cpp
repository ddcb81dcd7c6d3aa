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

TEST(ParsePoses, RejectsWhatIsNotAPosesMessageWithVersionZero) {
  const std::vector<uint8_t> seven = {'V', 'N', 'T', 'R', 4, 1, 0};
  const std::vector<uint8_t> swapped = {'N', 'V', 'T', 'R', 4, 1, 0, 0};
  const std::vector<uint8_t> hostPoses = {'V', 'N', 'T', 'R', 4, 2, 0, 0};
  for (const auto &bytes : {std::vector<uint8_t>{}, seven, swapped, hostPoses}) {
    const Parsed p = Parse(bytes);
    EXPECT_FALSE(p.accepted);
    EXPECT_EQ(p.header.version, 0);
    EXPECT_TRUE(p.points.empty());
  }
}

TEST(ParsePoses, UnknownVersionsAreRejectedButReported) {
  for (int v : {0, 5, 255}) {
    const auto version = static_cast<uint8_t>(v);
    Poses m;
    m.version = version;
    const Parsed p = Parse(m.Bytes());
    EXPECT_FALSE(p.accepted);
    EXPECT_EQ(p.header.version, version);
  }
}

TEST(ParsePoses, LengthMustCoverEveryRecordButMayRunLonger) {
  Poses m;
  m.records = {Record{}, Record{}};
  std::vector<uint8_t> bytes = m.Bytes();
  ASSERT_EQ(bytes.size(), 104u);
  EXPECT_TRUE(Parse(bytes).accepted);
  bytes.resize(200, 0xAB);
  const Parsed longer = Parse(bytes);
  EXPECT_TRUE(longer.accepted);
  EXPECT_EQ(longer.points.size(), 2u);
  bytes.resize(103);
  const Parsed shorter = Parse(bytes);
  EXPECT_FALSE(shorter.accepted);
  EXPECT_EQ(shorter.header.version, 4);  // known to be POSES before the length check
  EXPECT_TRUE(shorter.points.empty());
}

TEST(ParsePoses, EmptyVersionOneMessageIsAccepted) {
  Poses m;
  m.version = 1;
  const Parsed p = Parse(m.Bytes());
  ASSERT_EQ(m.Bytes().size(), 8u);
  EXPECT_TRUE(p.accepted);
  EXPECT_TRUE(p.points.empty());
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
