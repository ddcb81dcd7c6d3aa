#pragma once

// The frame loop over any link to the tracking server. The host's frames use the UDP endpoint;
// tests and fuzzing run the same code over an in-memory queue.

#include <algorithm>
#include <cstring>

#include "driver/device_provider.h"
#include "link/host_pose_report.h"

namespace vantrels {

template <typename Link>
void DeviceProvider::RunFrameWith(Link &link, int64_t t) {
  const bool hostKnown = vr::VRDriverContext() != nullptr;

  // 1. Frame time and interval, the interval kept within 0..0.1 s.
  double dt = lastFrameTime == 0 ? 0.0 : static_cast<double>(t - lastFrameTime) / 1'000'000'000.0;
  dt = std::clamp(dt, 0.0, 0.1);
  lastFrameTime = t;

  // 2. The raw poses of every device; record 0 is the headset.
  vr::TrackedDevicePose_t rawPoses[vr::k_unMaxTrackedDeviceCount];
  std::memset(rawPoses, 0, sizeof(rawPoses));
  vr::IVRServerDriverHost *host = hostKnown ? vr::VRServerDriverHost() : nullptr;
  if (host != nullptr) host->GetRawTrackedDevicePoses(0.0f, rawPoses, vr::k_unMaxTrackedDeviceCount);

  // 3. The driver's time in seconds.
  const double now = static_cast<double>(t - startTime) / 1'000'000'000.0;
  bool accepted = false;

  // 4. Every datagram that has arrived, in arrival order, up to the per-frame limit.
  uint8_t buffer[kReceiveBufferSize];
  for (int taken = 0; taken < kMaxDatagramsPerFrame; ++taken) {
    const int32_t n = link.Receive(buffer, kReceiveBufferSize);
    if (n < 0) break;
    PosesHeader header;
    if (IntakeDatagram(buffer, n, header)) {
      accepted = true;
      OnPosesMessage(header, points, now);
    }
  }

  // 5. Every tracker's pose for this frame.
  UpdateTrackers(rawPoses, t, now, dt);

  // 6. The headset and controllers back to whoever sent last.
  if (accepted || link.HasPeer()) SendHostPoseReport(link, rawPoses);

  // 7. Host events are only drained so that they do not pile up. The size is the record's own:
  // 60 bytes on Linux, where a larger figure would invite the host to write past it.
  if (host != nullptr) {
    vr::VREvent_t event;
    while (host->PollNextEvent(&event, sizeof(event))) {
    }
  }
}

template <typename Link>
void DeviceProvider::SendHostPoseReport(Link &link,
                                        const vr::TrackedDevicePose_t (&rawPoses)[vr::k_unMaxTrackedDeviceCount]) {
  if (reportCount % 90 == 0) RefreshControllerRoles();
  ++reportCount;
  BuildHostPoseReport(CollectHostPoses(rawPoses, controllerRoles), reportBuffer);
  link.SendToPeer(reportBuffer.data(), reportBuffer.size());
}

}  // namespace vantrels
