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

// Smoothing byte 77, stamp bytes 01 00 00 80, flags byte as given: what each version takes of them.
TEST(ParsePoses, HeaderFieldsDependOnVersion) {
  const struct {
    uint8_t version, flags;
    PosesHeader expected;
  } cases[] = {
      {2, 0x03, {2, 0, false, 0, false, false}},
      {3, 0x03, {3, 77, false, 0, false, false}},
      {4, 0x03, {4, 77, true, 2'147'483'649u, true, true}},
      {4, 0x01, {4, 77, true, 2'147'483'649u, true, false}},
      {4, 0xFE, {4, 77, true, 2'147'483'649u, false, true}},
      {4, 0xFC, {4, 77, true, 2'147'483'649u, false, false}},  // only the ignored bits
  };
  for (const auto &c : cases) {
    Poses m = Version(c.version);
    m.smoothingMs = 77;
    m.serverTimeUs = 0x80000001u;
    m.flags = c.flags;
    const PosesHeader h = Parse(m.Bytes()).header;
    const PosesHeader &e = c.expected;
    EXPECT_TRUE(h.version == e.version && h.smoothingMs == e.smoothingMs && h.hasServerTime == e.hasServerTime &&
                h.serverTimeUs == e.serverTimeUs && h.prediction == e.prediction &&
                h.adaptiveSmoothing == e.adaptiveSmoothing)
        << int{c.version} << " " << int{c.flags};
  }
}

// Record flags 0x07 (valid, charging, head-relative) and fields; version 1 records are 32 bytes, with
// no head offset even when bytes follow. Floats are copied bit for bit.
TEST(ParsePoses, RecordFieldsByVersion) {
  for (const uint8_t version : {uint8_t{1}, uint8_t{2}, uint8_t{3}, uint8_t{4}}) {
    Poses m = Version(version, 1);
    Record &r = m.records[0];
    r = Record{7, 0x07, 42, {-1.5f, NAN, -INFINITY}, {0.0f, 0.25f, 0.0f, -0.0f}, {0.0f, 0.0f, 0.125f}};
    const std::vector<uint8_t> bytes = Resized(m.Bytes(), m.Bytes().size() + 12);
    const PointSample s = Parse(bytes).points.at(0);
    EXPECT_TRUE(s.index == 7 && s.valid && s.charging && s.batteryPercent == 42) << int{version};
    EXPECT_EQ(s.headRelative, version >= 3);
    EXPECT_TRUE(s.position[0] == -1.5f && std::isnan(s.position[1]) && s.position[2] == -INFINITY);
    EXPECT_TRUE(s.rotation[1] == 0.25f && s.rotation[3] == 0.0f && std::signbit(s.rotation[3]));
    EXPECT_TRUE(s.headOffset[0] == 0.0f && s.headOffset[1] == 0.0f &&
                s.headOffset[2] == (version == 1 ? 0.0f : 0.125f));
  }
}

}  // namespace
}  // namespace vantrels
