#include "driver/interface_versions.h"

#include <openvr_driver.h>

namespace vantrels {

// The header's own list: it names every interface revision the header declares, which is
// how the host learns that this driver speaks ITrackedDeviceServerDriver_005.
const char *const *const kInterfaceVersions = vr::k_InterfaceVersions;

}  // namespace vantrels
