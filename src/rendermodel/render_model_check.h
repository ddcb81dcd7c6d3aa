#pragma once

#include <string>

namespace vantrels {

// Checks the driver's own render model below `driverFolder` (UTF-8, as FindDriverFolder gives it): the
// OBJ file resources/rendermodels/vantrel/vantrel.obj, the MTL file it names and the PNG texture that
// names. Both names are resolved against the model folder. Returns "" when the model is usable, else the
// reason of the first stage that failed, in Spanish (UTF-8). Never throws.
std::string CheckRenderModel(const std::string &driverFolder) noexcept;

}  // namespace vantrels
