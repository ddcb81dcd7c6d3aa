// IVRResources_001: resolves "{<driver>}/..." against the loaded driver's resources folder.
// The server's own shared resources do not exist here.
#include <system_error>

#include "host/host_interfaces.h"

namespace vantrels::host {

uint32_t SubstituteHost::ResourcesImpl::LoadSharedResource(const char *name, char *buffer, uint32_t bufferLen) {
  return host_.Guarded("LoadSharedResource", 0u, [&] {
    host_.Record({{"call", "LoadSharedResource"}, {"name", ArgText(name)}, {"bufferLen", bufferLen}, {"result", 0}});
    (void)buffer;
    return 0u;
  });
}

uint32_t SubstituteHost::ResourcesImpl::GetResourceFullPath(const char *name, const char *typeDirectory,
                                                            char *pathBuffer, uint32_t bufferLen) {
  if (pathBuffer != nullptr && bufferLen > 0) pathBuffer[0] = '\0';
  return host_.Guarded("GetResourceFullPath", 0u, [&] {
    const std::string resource = ArgText(name);
    const std::string prefix = "{" + host_.driverName_ + "}";
    uint32_t result = 0;
    std::string resolved;
    if (!host_.driverFolder_.empty() && resource.starts_with(prefix)) {
      std::string rest = resource.substr(prefix.size());
      while (!rest.empty() && (rest.front() == '/' || rest.front() == '\\')) rest.erase(0, 1);
      std::filesystem::path path = host_.driverFolder_ / "resources";
      if (typeDirectory != nullptr && *typeDirectory != '\0') path /= typeDirectory;
      path /= rest;
      std::error_code ec;
      if (rest.find("..") == std::string::npos && std::filesystem::exists(path, ec)) {
        resolved = path.string();
        result = CopyOutString(resolved, pathBuffer, bufferLen);
      }
    }
    host_.Record({{"call", "GetResourceFullPath"},
                  {"name", resource},
                  {"typeDirectory", ArgText(typeDirectory)},
                  {"bufferLen", bufferLen},
                  {"path", resolved},
                  {"result", result}});
    return result;
  });
}

}  // namespace vantrels::host
