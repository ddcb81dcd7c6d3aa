#pragma once

#include <openvr_driver.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "link/poses_message.h"
#include "link/udp_endpoint.h"
#include "pose/pose_filter.h"
#include "pose/pose_math.h"
#include "trackers/body_points.h"

namespace vantrels {

class TrackerDevice;

// The server time base: maps each stamped message onto the driver's clock and tracks the
// smallest transit delay seen, so that the pipeline time is "now" on the server's clock.
struct ServerClock {
  bool hasStamp = false;      // a version 4 stamp is being followed
  uint32_t lastStampUs = 0;   // the last server stamp, microseconds, wrapping
  double serverTime = 0.0;    // that stamp on the driver's time base, seconds
  double minDelay = 0.0;      // smallest arrival-minus-serverTime, raised slowly
  double lastStampNow = 0.0;  // driver time when the last stamp arrived
};

// The one object the host drives: it owns the socket to the tracking server and the trackers,
// and runs the whole pipeline inside RunFrame on the host's thread.
class DeviceProvider final : public vr::IServerTrackedDeviceProvider {
 public:
  // Datagrams taken per frame at most; the rest wait in the socket for the next frame, so a
  // flood cannot keep RunFrame from returning.
  static constexpr int kMaxDatagramsPerFrame = 256;
  static constexpr int32_t kReceiveBufferSize = 2048;
  static constexpr uint16_t kDefaultPort = 21110;
  // After this long without a stamped message the 32-bit microsecond stamp may have wrapped
  // (it does every 71.6 minutes), so the next stamp restarts the time base.
  static constexpr double kStampSilenceRestartSeconds = 2000.0;

  // The port setting as read from the host: the default unless it was read and is 1 to 65535.
  static uint16_t PortFromSetting(vr::EVRSettingsError error, int32_t value);

  DeviceProvider();
  ~DeviceProvider();
  DeviceProvider(const DeviceProvider &) = delete;
  DeviceProvider &operator=(const DeviceProvider &) = delete;

  // vr::IServerTrackedDeviceProvider, in the host's slot order.
  vr::EVRInitError Init(vr::IVRDriverContext *pDriverContext) override;
  void Cleanup() override;
  const char *const *GetInterfaceVersions() override;
  void RunFrame() override;
  bool ShouldBlockStandbyMode() override;
  void EnterStandby() override;
  void LeaveStandby() override;

  // One frame at frame time `t` over any link with the endpoint's Receive/HasPeer/SendToPeer
  // (the UDP endpoint in the host; an in-memory queue in tests and fuzzing).
  template <typename Link>
  void RunFrameWith(Link &link, int64_t t);

  // Checks and decodes one received datagram; true when it is an accepted POSES message, whose
  // records are then in `points`.
  bool IntakeDatagram(const uint8_t *bytes, int32_t n, PosesHeader &header);
  // The pose flow: each accepted message, then once per frame.
  void OnPosesMessage(const PosesHeader &header, const std::vector<PointSample> &records, double now);
  void UpdateTrackers(const vr::TrackedDevicePose_t (&rawPoses)[vr::k_unMaxTrackedDeviceCount], int64_t t, double now,
                      double dt);
  // The tracker of a body point, created and announced to the host the first time it is seen;
  // null for the head, an index outside the table, or a tracker the host refused.
  TrackerDevice *GetOrAddTracker(uint8_t index);
  // The headset's and the controllers' poses back to the tracking server.
  template <typename Link>
  void SendHostPoseReport(Link &link, const vr::TrackedDevicePose_t (&rawPoses)[vr::k_unMaxTrackedDeviceCount]);

  // Fields, in the order their start values are given; all live until the library unloads.
  UdpEndpoint endpoint;
  std::array<int8_t, vr::k_unMaxTrackedDeviceCount> controllerRoles{};
  uint32_t reportCount = 0;
  uint32_t ignoredCount = 0;
  bool firstMessageLogged = false;
  std::array<std::unique_ptr<TrackerDevice>, kBodyPointCount> trackerSlots;
  std::vector<PointSample> points;
  FilterSettings settings;
  ServerClock serverClock;
  int64_t startTime = 0;
  bool haveHeadOffset = false;
  Vec3 headOffset;
  bool havePrevHeadNow = false;
  Vec3 prevHeadNow;
  int64_t lastFrameTime = 0;

 private:
  double MapToServerTime(const PosesHeader &header, double now);
  std::optional<Vec3> HeadAnchorOf(const PosesHeader &header, const std::vector<PointSample> &records);
  void RefreshControllerRoles();

  std::vector<uint8_t> reportBuffer;  // reused by every report
};

}  // namespace vantrels
