// Random datagram sequences and headset poses through whole frames of a provider, with the
// substitute host recording every call and an in-memory queue in place of the socket.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "driver/device_provider.h"
#include "driver/frame_loop.h"
#include "host/substitute_host.h"
#include "link/datagram_queue.h"
#include "trackers/tracker_device.h"

namespace {

vr::TrackedDevicePose_t FuzzedPose(FuzzedDataProvider &in) {
  vr::TrackedDevicePose_t pose{};
  for (auto &row : pose.mDeviceToAbsoluteTracking.m)
    for (float &v : row) v = in.ConsumeFloatingPoint<float>();
  for (float &v : pose.vVelocity.v) v = in.ConsumeFloatingPoint<float>();
  for (float &v : pose.vAngularVelocity.v) v = in.ConsumeFloatingPoint<float>();
  pose.bPoseIsValid = in.ConsumeBool();
  pose.bDeviceIsConnected = in.ConsumeBool();
  return pose;
}

// A POSES message built from fuzz input: mostly well-formed, so that the pipeline behind the
// decoder is reached, with fuzzed numbers, flags, stamps and indices.
std::vector<uint8_t> FuzzedPoses(FuzzedDataProvider &in) {
  const uint8_t version = in.ConsumeIntegralInRange<uint8_t>(1, 4);
  const uint8_t count = in.ConsumeIntegralInRange<uint8_t>(0, 24);
  std::vector<uint8_t> out = {'V', 'N', 'T', 'R', version, 1, count, in.ConsumeIntegral<uint8_t>()};
  if (version == 4)
    for (int i = 0; i < 8; ++i) out.push_back(in.ConsumeIntegral<uint8_t>());
  const size_t recordSize = version == 1 ? 32 : 44;
  for (uint8_t r = 0; r < count; ++r) {
    out.push_back(in.ConsumeIntegralInRange<uint8_t>(0, 21));
    out.push_back(in.ConsumeIntegral<uint8_t>());
    out.push_back(in.ConsumeIntegral<uint8_t>());
    out.push_back(0);
    for (size_t i = 4; i < recordSize; i += 4) {
      const float v =
          in.ConsumeBool() ? in.ConsumeFloatingPointInRange<float>(-3.0f, 3.0f) : in.ConsumeFloatingPoint<float>();
      const auto *b = reinterpret_cast<const uint8_t *>(&v);
      out.insert(out.end(), b, b + 4);
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider in(data, size);
  vantrels::host::HostOptions options;
  options.activation = static_cast<vantrels::host::HostOptions::Activation>(in.ConsumeIntegralInRange<int>(0, 2));
  options.refuse = static_cast<vantrels::host::HostOptions::Refuse>(in.ConsumeIntegralInRange<int>(0, 2));
  options.refuseFirst = in.ConsumeIntegralInRange<uint32_t>(0, 5);
  options.controllers = in.ConsumeIntegralInRange<uint32_t>(0, 20);
  vantrels::host::SubstituteHost host(options);
  vantrels::DeviceProvider provider;
  vantrels::DatagramQueue link;
  vr::InitServerDriverContext(&host);

  // Bounded work per input keeps the executions per second up; long sequences come from
  // the fuzzer chaining inputs through the corpus rather than from one huge input.
  constexpr int kMaxFrames = 24;
  constexpr size_t kMaxQueued = 300;
  int frames = 0;
  int64_t t = provider.startTime;
  while (in.remaining_bytes() > 0 && frames < kMaxFrames && link.pending.size() < kMaxQueued) {
    switch (in.ConsumeIntegralInRange<int>(0, 4)) {
      case 0:
        link.Push(FuzzedPoses(in));
        break;
      case 1: {
        const std::vector<uint8_t> raw = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 2100));
        link.Push(raw);
        break;
      }
      case 2:
        host.SetRawPose(0, FuzzedPose(in));
        break;
      case 3:
        host.ClearRawPose(0);
        break;
      default:
        t += in.ConsumeIntegralInRange<int64_t>(-20'000'000, 3'000'000'000);
        host.BeginFrame(static_cast<double>(t - provider.startTime) / 1e9);
        provider.RunFrameWith(link, t);
        ++frames;
        break;
    }
  }
  provider.RunFrameWith(link, t + 11'000'000);

  // Nothing the server or the headset sends may reach SteamVR as a non-finite pose.
  for (const auto &update : host.PoseUpdates()) {
    const vr::DriverPose_t &p = update.pose;
    for (double v : {p.vecPosition[0], p.vecPosition[1], p.vecPosition[2], p.qRotation.w, p.qRotation.x, p.qRotation.y,
                     p.qRotation.z})
      if (!std::isfinite(v)) std::abort();
  }
  vr::CleanupDriverContext();
  return 0;
}
