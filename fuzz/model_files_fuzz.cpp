// Fuzzed OBJ, MTL and texture contents written into a temporary driver folder and checked.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "rendermodel/material_check.h"
#include "rendermodel/obj_check.h"
#include "rendermodel/render_model_check.h"

namespace fs = std::filesystem;

namespace {

const fs::path &Root() {
  static const fs::path root = [] {
    fs::path p = fs::temp_directory_path() / ("vantrels-fuzz-model-" + std::to_string(::getpid()));
    fs::create_directories(p / "resources/rendermodels/vantrel");
    return p;
  }();
  return root;
}

void Write(const fs::path &path, const std::string &content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzedDataProvider in(data, size);
  const fs::path folder = Root() / "resources/rendermodels/vantrel";
  const std::string mtlName = in.ConsumeBool() ? "vantrel.mtl" : in.ConsumeRandomLengthString(24);
  const std::string textureName = in.ConsumeBool() ? "vantrel.png" : in.ConsumeRandomLengthString(24);
  std::string obj = in.ConsumeRandomLengthString(1 << 16);
  if (in.ConsumeBool()) obj = "mtllib " + mtlName + "\n" + obj;
  std::string mtl = in.ConsumeRandomLengthString(1 << 12);
  if (in.ConsumeBool()) mtl += "\nmap_Kd " + textureName + "\n";
  const std::string png = in.ConsumeRemainingBytesAsString();

  Write(folder / "vantrel.obj", obj);
  Write(folder / "vantrel.mtl", mtl);
  Write(folder / "vantrel.png", png);

  std::string materialLibrary;
  const std::string objReason = vantrels::CheckObjFile(folder / "vantrel.obj", materialLibrary);
  std::string texture;
  vantrels::CheckMaterialFile(folder / "vantrel.mtl", texture);
  vantrels::CheckTextureFile(folder / "vantrel.png");
  const std::string reason = vantrels::CheckRenderModel(Root().string());
  // The OBJ stage runs first: its reason, when it has one, is the model's reason.
  if (!objReason.empty() && reason != objReason) std::abort();
  return 0;
}
