#include <string>

#include "driver/device_provider.h"
#include "driver/driver_log.h"

namespace vantrels {

namespace {

constexpr uint32_t kLoggedRejections = 5;

}  // namespace

bool DeviceProvider::IntakeDatagram(const uint8_t *bytes, int32_t n, PosesHeader &header) {
  header = PosesHeader{};
  const size_t size = n > 0 ? static_cast<size_t>(n) : 0;
  if (!ParsePoses(bytes, size, points, &header)) {
    const uint32_t k = ignoredCount;
    if (k < UINT32_MAX) ignoredCount = k + 1;
    if (k < kLoggedRejections) {
      DriverLog("Ignored a datagram that is not a POSES message (" + std::to_string(n) + " bytes, version " +
                std::to_string(header.version) + "; this driver speaks version " + std::to_string(kProtocolVersion) +
                ")");
    }
    return false;
  }
  if (!firstMessageLogged && !points.empty()) {
    firstMessageLogged = true;
    DriverLog("Receiving poses from the server: " + std::to_string(points.size()) +
              " body points in the first message");
  }
  return true;
}

}  // namespace vantrels
