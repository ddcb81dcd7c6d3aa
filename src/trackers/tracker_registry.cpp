#include <memory>
#include <string>

#include "driver/device_provider.h"
#include "driver/driver_log.h"
#include "trackers/tracker_device.h"

namespace vantrels {

TrackerDevice *DeviceProvider::GetOrAddTracker(uint8_t index) {
  if (index == 0 || index >= kBodyPointCount) return nullptr;
  if (trackerSlots[index]) return trackerSlots[index].get();
  if (vr::VRDriverContext() == nullptr) return nullptr;

  const BodyPoint &row = kBodyPoints[index];
  auto device = std::make_unique<TrackerDevice>(index);

  // The role goes to the host's settings before the announcement, so that the host knows it
  // when the tracker appears.
  if (row.role != nullptr) {
    if (vr::IVRSettings *hostSettings = vr::VRSettings())
      hostSettings->SetString("trackers", (std::string("/devices/vantrels/") + row.serial).c_str(), row.role);
  }

  vr::IVRServerDriverHost *host = vr::VRServerDriverHost();
  const bool accepted =
      host != nullptr && host->TrackedDeviceAdded(row.serial, vr::TrackedDeviceClass_GenericTracker,
                                                  static_cast<vr::ITrackedDeviceServerDriver *>(device.get()));

  // Once the host holds the device it must outlive whatever follows, a log line that cannot be
  // built included: the slot takes it first.
  TrackerDevice *added = nullptr;
  if (accepted) {
    trackerSlots[index] = std::move(device);
    added = trackerSlots[index].get();
  }
  DriverLog(std::string(accepted ? "Added tracker " : "SteamVR refused tracker ") + row.serial +
            (row.role != nullptr ? std::string(" as ") + row.role : std::string(" (no SteamVR role)")));
  return added;  // null when refused: not remembered, so the next record of this point tries again
}

}  // namespace vantrels
