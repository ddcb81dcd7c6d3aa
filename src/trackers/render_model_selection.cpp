#include "trackers/render_model_selection.h"

#include <openvr_driver.h>

#include <cstring>

#include "driver/driver_log.h"
#include "rendermodel/driver_folder.h"
#include "rendermodel/render_model_check.h"

namespace vantrels {

namespace {

// The setting's text, or empty when absent or unreadable. The host may fill the whole buffer
// without a terminating NUL, so the text is never taken past the buffer's end.
std::string ReadRenderModelSetting() {
  if (vr::VRDriverContext() == nullptr) return {};
  vr::IVRSettings *settings = vr::VRSettings();
  if (settings == nullptr) return {};
  char buffer[256] = {};
  vr::EVRSettingsError error = vr::VRSettingsError_ReadFailed;
  settings->GetString("driver_vantrels", "render_model", buffer, sizeof(buffer), &error);
  if (error != vr::VRSettingsError_None) return {};
  return std::string(buffer, strnlen(buffer, sizeof(buffer)));
}

std::string CheckOwnModel() {
  try {
    return CheckRenderModel(FindDriverFolder());
  } catch (...) {
    return "no se pudo comprobar el modelo";
  }
}

}  // namespace

std::string ChooseRenderModel() {
  const std::string value = ReadRenderModelSetting();
  if (!value.empty() && value != "auto") {
    WriteLogLine("[Vantrels] Render model set in settings: " + value);
    return value;
  }
  const std::string reason = CheckOwnModel();
  if (reason.empty()) {
    WriteLogLine("[Vantrels] Using the Vantrels render model");
    return kVantrelsRenderModel;
  }
  WriteLogLine("[Vantrels] Vantrels render model not usable (" + reason + "); using SteamVR's Vive tracker model");
  return kViveTrackerRenderModel;
}

const std::string &RenderModelName() {
  // Initialised once even if several threads ask at the same time; the others wait.
  static const std::string name = ChooseRenderModel();
  return name;
}

}  // namespace vantrels
