// The library's front door: the one provider, built when the library is loaded, and the
// factory through which the host obtains it.
#include <openvr_driver.h>

#include <cstring>

#include "driver/device_provider.h"

namespace {

vantrels::DeviceProvider g_provider;

}  // namespace

extern "C" __attribute__((visibility("default"))) void *HmdDriverFactory(const char *pInterfaceName,
                                                                         int *pReturnCode) {
  if (pInterfaceName != nullptr && std::strcmp(pInterfaceName, vr::IServerTrackedDeviceProvider_Version) == 0)
    return static_cast<vr::IServerTrackedDeviceProvider *>(&g_provider);
  if (pReturnCode != nullptr) *pReturnCode = vr::VRInitError_Init_InterfaceNotFound;
  return nullptr;
}
