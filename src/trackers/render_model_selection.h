#pragma once

#include <string>

namespace vantrels {

inline constexpr const char *kVantrelsRenderModel = "{vantrels}/rendermodels/vantrel";
inline constexpr const char *kViveTrackerRenderModel = "{htc}/rendermodels/vr_tracker_vive_1_0";

// The render model every tracker shows. Chosen once per process, on the first call (the first
// tracker activation), and kept; later calls neither read settings, check files nor log.
const std::string &RenderModelName();

// The choice itself: the "render_model" setting when it names a model, otherwise the driver's
// own model if its files pass the check, otherwise SteamVR's Vive tracker model. Logs one line.
std::string ChooseRenderModel();

}  // namespace vantrels
