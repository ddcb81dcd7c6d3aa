#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <vector>

#include "host_report.h"

namespace vantrels::sim {
namespace {

void PutFloat(std::vector<uint8_t> &b, size_t at, float v) {
  const uint32_t u = std::bit_cast<uint32_t>(v);
  for (size_t i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(u >> (8 * i));
}

// A report as the driver builds it: header, headset block, n controller records.
std::vector<uint8_t> Report(uint8_t n) {
  std::vector<uint8_t> b(40 + 32 * static_cast<size_t>(n), 0);
  std::memcpy(b.data(), "VNTR\x04\x02", 6);
  b[6] = n;
  b[8] = 1;
  PutFloat(b, 12, 0.5f);
  PutFloat(b, 16, 1.7f);
  PutFloat(b, 20, -0.25f);
  PutFloat(b, 36, 1.0f);
  for (uint8_t i = 0; i < n; ++i) {
    const size_t at = 40 + 32 * static_cast<size_t>(i);
    b[at] = 1;
    b[at + 1] = static_cast<uint8_t>(i + 1);
    PutFloat(b, at + 4, 0.1f * static_cast<float>(i + 1));
    PutFloat(b, at + 16, 0.5f);
    PutFloat(b, at + 28, 0.5f);
  }
  return b;
}

TEST(HostReportDecoder, HeadsetAndControllers) {
  const std::vector<uint8_t> b = Report(2);
  HostReport r;
  r.controllers.resize(5);  // a previous, longer report must not leave entries behind
  ASSERT_TRUE(DecodeHostReport(b.data(), b.size(), r));
  EXPECT_TRUE(r.headsetValid);
  EXPECT_FLOAT_EQ(r.headsetPosition[0], 0.5f);
  EXPECT_FLOAT_EQ(r.headsetPosition[1], 1.7f);
  EXPECT_FLOAT_EQ(r.headsetPosition[2], -0.25f);
  EXPECT_FLOAT_EQ(r.headsetRotation[3], 1.0f);
  ASSERT_EQ(r.controllers.size(), 2u);
  EXPECT_EQ(r.controllers[0].role, 1);
  EXPECT_EQ(r.controllers[1].role, 2);
  EXPECT_FLOAT_EQ(r.controllers[1].position[0], 0.2f);
  EXPECT_FLOAT_EQ(r.controllers[1].rotation[0], 0.5f);
  EXPECT_FLOAT_EQ(r.controllers[1].rotation[3], 0.5f);
  const std::vector<uint8_t> headsetOnly = Report(0);
  ASSERT_TRUE(DecodeHostReport(headsetOnly.data(), headsetOnly.size(), r));
  EXPECT_TRUE(r.controllers.empty());
}

TEST(HostReportDecoder, RejectsMalformedReports) {
  HostReport r;
  const std::vector<uint8_t> good = Report(2);
  EXPECT_FALSE(DecodeHostReport(nullptr, 0, r));
  EXPECT_FALSE(DecodeHostReport(good.data(), 39, r)) << "shorter than the headset block";
  EXPECT_FALSE(DecodeHostReport(good.data(), good.size() - 1, r)) << "last controller cut short";
  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  EXPECT_FALSE(DecodeHostReport(longer.data(), longer.size(), r)) << "bytes after the last record";

  // Magic, version, type and two wrong counts.
  for (const auto &[at, value] : {std::pair<size_t, uint8_t>{0, 'X'}, {4, 3}, {5, 1}, {6, 3}, {6, 1}}) {
    std::vector<uint8_t> b = good;
    b[at] = value;
    EXPECT_FALSE(DecodeHostReport(b.data(), b.size(), r)) << at;
  }
  const std::vector<uint8_t> seventeen = Report(17);
  EXPECT_FALSE(DecodeHostReport(seventeen.data(), seventeen.size(), r)) << "more controllers than a report holds";
  const std::vector<uint8_t> sixteen = Report(16);
  EXPECT_TRUE(DecodeHostReport(sixteen.data(), sixteen.size(), r));
}

}  // namespace
}  // namespace vantrels::sim
