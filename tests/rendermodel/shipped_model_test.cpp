// The model that ships in package/ must pass the driver's own check, and stay inside what SteamVR's
// loader takes with room to spare.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "rendermodel/render_model_check.h"

namespace vantrels {
namespace {

const std::string kPackage = VANTRELS_SOURCE_DIR "/package";

TEST(ShippedModel, PassesTheCheck) {
  EXPECT_EQ(CheckRenderModel(kPackage), "");
}

TEST(ShippedModel, OneNamedObjectWellUnderTheVertexLimit) {
  std::ifstream obj(kPackage + "/resources/rendermodels/vantrel/vantrel.obj");
  ASSERT_TRUE(obj);
  int objects = 0, groups = 0, positions = 0, faces = 0, usemtl = 0;
  std::string mtllib;
  for (std::string line; std::getline(obj, line);) {
    std::istringstream words(line);
    std::string keyword;
    words >> keyword;
    if (keyword == "o") ++objects;
    if (keyword == "g") ++groups;
    if (keyword == "v") ++positions;
    if (keyword == "f") ++faces;
    if (keyword == "usemtl") ++usemtl;
    if (keyword == "mtllib") words >> mtllib;
  }
  EXPECT_EQ(objects, 1);
  EXPECT_EQ(groups, 0);
  EXPECT_EQ(usemtl, 1);
  EXPECT_EQ(mtllib, "vantrel.mtl");
  // SteamVR counts distinct corners against 65000; three per face bounds them.
  EXPECT_LT(3 * faces, 65000);
  EXPECT_GT(faces, 100);
  EXPECT_GT(positions, 50);
}

}  // namespace
}  // namespace vantrels
