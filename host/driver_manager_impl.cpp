// IVRDriverManager_001: one driver, the one the host loaded.
#include "host/host_interfaces.h"

namespace vantrels::host {

uint32_t SubstituteHost::DriverManagerImpl::GetDriverCount() const {
  return host_.Guarded("GetDriverCount", 1u, [&] {
    host_.Record({{"call", "GetDriverCount"}, {"result", 1}});
    return 1u;
  });
}

uint32_t SubstituteHost::DriverManagerImpl::GetDriverName(vr::DriverId_t driver, char *value, uint32_t bufferSize) {
  if (value != nullptr && bufferSize > 0) value[0] = '\0';
  return host_.Guarded("GetDriverName", 0u, [&] {
    uint32_t result = 0;
    if (driver == 0) result = CopyOutString(host_.driverName_, value, bufferSize);
    host_.Record({{"call", "GetDriverName"}, {"driver", driver}, {"bufferSize", bufferSize}, {"result", result}});
    return result;
  });
}

vr::DriverHandle_t SubstituteHost::DriverManagerImpl::GetDriverHandle(const char *driverName) {
  return host_.Guarded("GetDriverHandle", vr::DriverHandle_t{0}, [&] {
    const vr::DriverHandle_t result =
        driverName != nullptr && host_.driverName_ == driverName ? kDriverHandle : vr::DriverHandle_t{0};
    host_.Record({{"call", "IVRDriverManager::GetDriverHandle"}, {"name", ArgText(driverName)}, {"result", result}});
    return result;
  });
}

bool SubstituteHost::DriverManagerImpl::IsEnabled(vr::DriverId_t driver) const {
  return host_.Guarded("IsEnabled", false, [&] {
    const bool result = driver == 0;
    host_.Record({{"call", "IsEnabled"}, {"driver", driver}, {"result", result}});
    return result;
  });
}

}  // namespace vantrels::host
