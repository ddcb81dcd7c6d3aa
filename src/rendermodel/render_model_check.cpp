#include "rendermodel/render_model_check.h"

#include <exception>
#include <filesystem>
#include <new>

#include "rendermodel/material_check.h"
#include "rendermodel/obj_check.h"

namespace vantrels {

namespace {

constexpr const char *kInvalidName = "nombre de archivo no válido";

std::filesystem::path FromUtf8(const std::string &text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace

std::string CheckRenderModel(const std::string &driverFolder) noexcept {
  try {
    if (driverFolder.empty()) return "no se encontró la carpeta del driver";

    std::filesystem::path modelFolder;
    try {
      modelFolder = FromUtf8(driverFolder) / "resources" / "rendermodels" / "vantrel";
    } catch (const std::bad_alloc &) {
      throw;
    } catch (const std::exception &) {
      return "carpeta del driver no válida";
    }

    std::string materialLibrary;
    if (std::string reason = CheckObjFile(modelFolder / "vantrel.obj", materialLibrary); !reason.empty()) {
      return reason;
    }
    if (materialLibrary.empty()) return "el OBJ no declara material";

    // Names read from the files are in the platform's narrow file-name encoding. Both are looked for in
    // the model folder, whichever folder the file that names them lies in; an absolute name stands alone.
    std::filesystem::path mtlPath;
    try {
      mtlPath = modelFolder / std::filesystem::path(materialLibrary);
    } catch (const std::bad_alloc &) {
      throw;
    } catch (const std::exception &) {
      return kInvalidName;
    }
    std::string textureName;
    if (std::string reason = CheckMaterialFile(mtlPath, textureName); !reason.empty()) return reason;

    std::filesystem::path texturePath;
    try {
      texturePath = modelFolder / std::filesystem::path(textureName);
    } catch (const std::bad_alloc &) {
      throw;
    } catch (const std::exception &) {
      return kInvalidName;
    }
    return CheckTextureFile(texturePath);
  } catch (const std::bad_alloc &) {
    return "sin memoria";  // short enough to need no allocation
  } catch (const std::exception &) {
    return kInvalidName;
  }
}

}  // namespace vantrels
