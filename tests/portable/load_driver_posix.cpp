// Loads a driver module the way the VR server does and asks it for its device provider. Built and run
// inside the Debian 11 root: it passes only if that system's loader resolves every symbol the module
// needs (RTLD_NOW), the factory hands out the provider, and the module unloads again.
//
//   load-driver PATH/driver_vantrels.so
#include <dlfcn.h>
#include <openvr_driver.h>

#include <cstdio>
#include <cstring>

namespace {

int Fail(const char *what, const char *detail) {
  std::fprintf(stderr, "load-driver: %s%s%s\n", what, detail ? ": " : "", detail ? detail : "");
  return 1;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) return Fail("usage: load-driver PATH/driver_vantrels.so", nullptr);
  void *module = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) return Fail("dlopen failed", dlerror());
  using Factory = void *(*)(const char *, int *);
  auto factory = reinterpret_cast<Factory>(dlsym(module, "HmdDriverFactory"));
  if (factory == nullptr) return Fail("no HmdDriverFactory", dlerror());

  int code = 0;
  if (factory("IServerTrackedDeviceProvider_999", &code) != nullptr || code != vr::VRInitError_Init_InterfaceNotFound)
    return Fail("an unknown interface was not refused with VRInitError_Init_InterfaceNotFound", nullptr);
  code = 0;
  auto *provider =
      static_cast<vr::IServerTrackedDeviceProvider *>(factory(vr::IServerTrackedDeviceProvider_Version, &code));
  if (provider == nullptr || code != 0) return Fail("no provider for", vr::IServerTrackedDeviceProvider_Version);

  // One call through the provider's table: the interface versions the driver was built against.
  int versions = 0;
  bool listsProvider = false;
  for (const char *const *v = provider->GetInterfaceVersions(); v != nullptr && *v != nullptr; ++v, ++versions)
    listsProvider = listsProvider || std::strcmp(*v, vr::IServerTrackedDeviceProvider_Version) == 0;
  if (!listsProvider) return Fail("the provider does not list", vr::IServerTrackedDeviceProvider_Version);

  if (dlclose(module) != 0) return Fail("dlclose failed", dlerror());
  std::printf("load-driver: %s loaded, gave its %s (%d interface versions) and unloaded\n", argv[1],
              vr::IServerTrackedDeviceProvider_Version, versions);
  return 0;
}
