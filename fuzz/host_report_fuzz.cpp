// Raw device poses and role codes from fuzz input through the host pose report builder.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>

#include "link/host_pose_report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider in(data, size);
  vr::TrackedDevicePose_t raw[vr::k_unMaxTrackedDeviceCount];
  std::memset(raw, 0, sizeof(raw));
  std::array<int8_t, vr::k_unMaxTrackedDeviceCount> roles{};
  for (uint32_t i = 0; i < vr::k_unMaxTrackedDeviceCount && in.remaining_bytes() > 0; ++i) {
    roles[i] = in.ConsumeIntegralInRange<int8_t>(-1, 2);
    for (auto &row : raw[i].mDeviceToAbsoluteTracking.m)
      for (float &v : row) v = in.ConsumeFloatingPoint<float>();
    raw[i].bPoseIsValid = in.ConsumeBool();
    raw[i].bDeviceIsConnected = in.ConsumeBool();
  }
  const vantrels::HostPoses poses = vantrels::CollectHostPoses(raw, roles);
  const std::vector<uint8_t> bytes = vantrels::BuildHostPoseReport(poses);
  if (poses.controllerCount > vantrels::kMaxReportedControllers) std::abort();
  if (bytes.size() != 40 + 32 * poses.controllerCount || bytes[6] != poses.controllerCount) std::abort();
  if (bytes[7] != 0 || bytes[9] != 0 || bytes[10] != 0 || bytes[11] != 0) std::abort();
  for (size_t i = 0; i < poses.controllerCount; ++i) {
    const uint8_t *r = bytes.data() + 40 + 32 * i;
    if (r[0] != 1 || r[1] > 2 || r[2] != 0 || r[3] != 0) std::abort();
  }
  return 0;
}
