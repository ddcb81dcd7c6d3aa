#include "host_report.h"

#include <bit>
#include <cstring>

#include "link/poses_message.h"

namespace vantrels::sim {

namespace {

float GetFloat(const uint8_t *in) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(in[i]) << (8 * i);
  return std::bit_cast<float>(v);
}

void GetFloats(const uint8_t *in, float *out, int n) {
  for (int i = 0; i < n; ++i) out[i] = GetFloat(in + 4 * i);
}

}  // namespace

bool DecodeHostReport(const uint8_t *data, size_t size, HostReport &report) {
  if (data == nullptr || size < kHostReportHeaderSize) return false;
  if (std::memcmp(data, kMagic, 4) != 0) return false;
  if (data[4] != kProtocolVersion || data[5] != static_cast<uint8_t>(MessageType::HostPoses)) return false;
  const size_t n = data[6];
  if (n > kMaxReportedControllers || size != kHostReportHeaderSize + n * kControllerRecordSize) return false;

  report.headsetValid = data[8] != 0;
  GetFloats(data + 12, report.headsetPosition, 3);
  GetFloats(data + 24, report.headsetRotation, 4);
  report.controllers.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const uint8_t *rec = data + kHostReportHeaderSize + i * kControllerRecordSize;
    ControllerPose &c = report.controllers[i];
    c.role = rec[1];
    GetFloats(rec + 4, c.position, 3);
    GetFloats(rec + 16, c.rotation, 4);
  }
  return true;
}

const char *RoleName(uint8_t role) {
  switch (role) {
    case 1:
      return "left";
    case 2:
      return "right";
    default:
      return "none";
  }
}

}  // namespace vantrels::sim
