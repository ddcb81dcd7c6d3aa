// The library's front door: the one provider, built when the library is loaded, and the
// factory through which the host obtains it.
#include <openvr_driver.h>

#include <cstring>

#include "driver/device_provider.h"

namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace {

vantrels::DeviceProvider g_provider;

// The C++ runtime is linked into this library, and with it the runtime's emergency exception
// buffer, which it never frees. The host may unload and reload the driver; without this every
// load would leave that buffer behind.
__attribute__((destructor)) void ReleaseRuntimeBuffers() {
  __gnu_cxx::__freeres();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void *HmdDriverFactory(const char *pInterfaceName, int *pReturnCode) {
  if (pInterfaceName != nullptr && std::strcmp(pInterfaceName, vr::IServerTrackedDeviceProvider_Version) == 0)
    return static_cast<vr::IServerTrackedDeviceProvider *>(&g_provider);
  if (pReturnCode != nullptr) *pReturnCode = vr::VRInitError_Init_InterfaceNotFound;
  return nullptr;
}
