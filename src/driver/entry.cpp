// The library's front door: the one provider, built when the library is loaded, and the
// factory through which the host obtains it.
#include <openvr_driver.h>

#include <cstring>

#include "driver/device_provider.h"

// A MinGW-built driver expects GetPose's hidden result pointer where an MSVC-built server puts
// `this`: the project's own header adapts slot 5 for that, the official one cannot, and the DLL
// would overwrite its devices with the server's buffer. Leave OPENVR_INCLUDE_DIR empty for MinGW.
#if defined(__MINGW32__) && defined(VANTRELS_OFFICIAL_OPENVR)
#error "MinGW needs the project's own openvr_driver.h: its GetPose adapter serves MSVC-built VR servers"
#endif

// Windows: the export table lists what is marked dllexport, and only that. Elsewhere the library is
// built with hidden visibility, so the one default-visibility symbol is the one export.
#if defined(_WIN32)
#define VANTRELS_EXPORT extern "C" __declspec(dllexport)
#else
#define VANTRELS_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#if defined(__GLIBCXX__) && defined(__GNUC__)
namespace __gnu_cxx {
void __freeres() noexcept;
}
#endif

namespace {

vantrels::DeviceProvider g_provider;

#if defined(__GLIBCXX__) && defined(__GNUC__)
// The C++ runtime (GNU libstdc++) is linked into this library, and with it the runtime's emergency
// exception buffer, which it never frees. The host may unload and reload the driver; without this
// every load would leave that buffer behind.
__attribute__((destructor)) void ReleaseRuntimeBuffers() {
  __gnu_cxx::__freeres();
}
#endif

}  // namespace

VANTRELS_EXPORT void *HmdDriverFactory(const char *pInterfaceName, int *pReturnCode) {
  if (pInterfaceName != nullptr && std::strcmp(pInterfaceName, vr::IServerTrackedDeviceProvider_Version) == 0)
    return static_cast<vr::IServerTrackedDeviceProvider *>(&g_provider);
  if (pReturnCode != nullptr) *pReturnCode = vr::VRInitError_Init_InterfaceNotFound;
  return nullptr;
}
