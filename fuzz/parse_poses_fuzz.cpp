// Any datagram through the POSES decoder and the provider's intake.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "driver/device_provider.h"
#include "link/poses_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static vantrels::DeviceProvider provider;  // no host: log lines are dropped

  std::vector<vantrels::PointSample> points;
  vantrels::PosesHeader header;
  const bool accepted = vantrels::ParsePoses(data, size, points, &header);
  if (!accepted && !points.empty()) std::abort();
  if (accepted) {
    const size_t recordSize = header.version == 1 ? 32 : 44;
    const size_t headerSize = header.version == 4 ? 16 : 8;
    if (headerSize + points.size() * recordSize > size || points.size() != data[6]) std::abort();
  }

  const int32_t n = size > 4096 ? 4096 : static_cast<int32_t>(size);
  vantrels::PosesHeader intakeHeader;
  if (provider.IntakeDatagram(data, n, intakeHeader) != accepted && size <= 4096) std::abort();
  return 0;
}
