#pragma once

// A DeviceProvider run in process against the substitute host, with datagrams fed through an
// in-memory queue and frame times under the test's control.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "driver/device_provider.h"
#include "driver/frame_loop.h"
#include "driver/steady_clock.h"
#include "host/substitute_host.h"
#include "link/datagram_queue.h"
#include "support/datagrams.h"
#include "support/udp_peer.h"

namespace vantrels::testing {

inline constexpr int64_t kFrameNs = 11'111'111;  // 90 Hz

// The harness's frame time, which the driver's clock reads while a harness exists, so that
// records and timeouts are measured on the same time line as the frames.
inline int64_t harnessClock = 0;
inline int64_t HarnessClock() {
  return harnessClock;
}

class ProviderHarness {
 public:
  // Listens on a free port unless told to leave the port setting absent.
  explicit ProviderHarness(host::HostOptions options = {}, bool setPort = true)
      : host(std::move(options)), t(SteadyNowNs()) {
    if (setPort) host.SetSetting("driver_vantrels", "port", FreePort());
    harnessClock = t;
    OverrideSteadyClock(HarnessClock);
  }
  ~ProviderHarness() { OverrideSteadyClock(nullptr); }
  ProviderHarness(const ProviderHarness &) = delete;
  ProviderHarness &operator=(const ProviderHarness &) = delete;

  vr::EVRInitError Init() { return host.CallInit(&provider); }
  void Cleanup() { host.CallCleanup(&provider); }

  void Send(const Poses &message) { link.Push(message.Bytes()); }
  void Send(const std::vector<uint8_t> &bytes) { link.Push(bytes); }

  // One host frame, `advanceNs` after the previous one.
  void Frame(int64_t advanceNs = kFrameNs) {
    t += advanceNs;
    harnessClock = t;
    host.BeginFrame(static_cast<double>(t - provider.startTime) / 1e9);
    provider.RunFrameWith(link, t);
  }

  void Frames(int n) {
    for (int i = 0; i < n; ++i) Frame();
  }

  // Log lines containing the text.
  std::vector<std::string> LogLinesWith(const std::string &text) const {
    std::vector<std::string> found;
    for (const std::string &line : host.LogLines())
      if (line.find(text) != std::string::npos) found.push_back(line);
    return found;
  }

  std::vector<host::SubstituteHost::PoseUpdate> PosesOf(uint32_t deviceIndex) const {
    std::vector<host::SubstituteHost::PoseUpdate> found;
    for (const auto &u : host.PoseUpdates())
      if (u.deviceIndex == deviceIndex) found.push_back(u);
    return found;
  }

  host::SubstituteHost host;
  DeviceProvider provider;
  DatagramQueue link;
  int64_t t;
};

// A host context that answers one interface version with a stand-in and everything else as `inner` does.
class ContextWith final : public vr::IVRDriverContext {
 public:
  ContextWith(vr::IVRDriverContext &inner, const char *version, void *standIn)
      : inner_(inner), version_(version), standIn_(standIn) {}
  void *GetGenericInterface(const char *version, vr::EVRInitError *error) override {
    return std::string_view(version) == version_ ? standIn_ : inner_.GetGenericInterface(version, error);
  }
  vr::DriverHandle_t GetDriverHandle() override { return inner_.GetDriverHandle(); }

 private:
  vr::IVRDriverContext &inner_;
  std::string_view version_;
  void *standIn_;
};

// A valid, connected device pose without rotation at (x, y, z).
inline vr::TrackedDevicePose_t LivePose(float x, float y, float z) {
  vr::TrackedDevicePose_t pose{};
  const float m[3][4] = {{1, 0, 0, x}, {0, 1, 0, y}, {0, 0, 1, z}};
  std::memcpy(pose.mDeviceToAbsoluteTracking.m, m, sizeof(m));
  pose.bPoseIsValid = pose.bDeviceIsConnected = true;
  return pose;
}

// A message with one valid record for each index, at rest one metre up.
inline Poses MessageFor(std::initializer_list<uint8_t> indices, uint8_t version = 4) {
  Poses m;
  m.version = version;
  for (uint8_t index : indices) {
    Record r;
    r.index = index;
    m.records.push_back(r);
  }
  return m;
}

}  // namespace vantrels::testing
