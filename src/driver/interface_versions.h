#pragma once

namespace vantrels {

// The OpenVR interface revisions the driver was compiled with, ending in a null entry.
extern const char *const *const kInterfaceVersions;

}  // namespace vantrels
