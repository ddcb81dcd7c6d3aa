#include "rendermodel/obj_check.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "model_files.h"

namespace vantrels {
namespace {

using testing::CheckObjText;

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

const std::string kNoGeometry = "el OBJ no tiene geometría";
const std::string kNoSlashes = "caras sin coordenadas de textura o normales";
const std::string kOutOfRange = "índice fuera de rango en una cara";
const std::string kNotTriangles = "caras que no son triángulos";
const std::string kSeveralObjects = "el OBJ tiene más de un objeto (SteamVR solo admite uno)";
const std::string kTooManyVertices = "demasiados vértices";

// Three positions, three texture coordinates and one normal, ready for faces.
const std::string kElements = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nvn 0 0 1\n";

TEST(ParseFaceIndex, SignsZeroJunkAndValuesBeyondInt32) {
  const std::pair<const char *, int32_t> threeElements[] = {{"", 0},
                                                            {"0", 0},
                                                            {"-0", 0},
                                                            {"+000", 0},
                                                            {"2", 2},
                                                            {"+3", 3},
                                                            {"7", 7},  // 7: left to the caller
                                                            {"-1", 3},
                                                            {"-3", 1},
                                                            {"-4", 0},
                                                            {"+", 0},
                                                            {"-", 0},
                                                            {"+-1", 0},
                                                            {"1a", 0},
                                                            {" 1", 0},
                                                            {"1 ", 0},
                                                            {"0x1", 0},
                                                            {"1.0", 0},
                                                            {"١", 0},
                                                            {"2147483647", kMax},
                                                            {"2147483648", kMax},
                                                            {"99999999999999999999999999", kMax},
                                                            {"-2147483648", kMin + 4},
                                                            {"-99999999999999999999999999", kMin + 4}};
  for (const auto &[text, index] : threeElements) EXPECT_EQ(ParseFaceIndex(text, 3), index) << text;
  EXPECT_EQ(ParseFaceIndex("-2147483648", 0), kMin + 1);
  EXPECT_EQ(ParseFaceIndex("-2147483648", kMax), 0);
}

TEST(CheckObjFile, ValidTriangleHandsBackTheMaterialLibrary) {
  std::string mtl;
  EXPECT_EQ(CheckObjText(testing::kTriangleObj, &mtl), "");
  EXPECT_EQ(mtl, "vantrel.mtl");
  // Windows line ends: the carriage return is whitespace.
  EXPECT_EQ(CheckObjText("mtllib a.mtl\r\nv 0 0 0\r\nvt 0 0\r\nvn 0 0 1\r\nf 1/1/1 1/1/1 1/1/1\r\n", &mtl), "");
  EXPECT_EQ(mtl, "a.mtl");
  // No line end after the last face.
  EXPECT_EQ(CheckObjText(kElements + "f 1/1/1 2/2/1 3/3/1"), "");
}

// The first name after the last "mtllib" that has one; a missing library is not this check's to report.
TEST(CheckObjFile, MaterialLibraryNameRules) {
  const std::string face = "f 1/1/1 2/2/1 3/3/1\n";
  for (const auto &[text, name] : std::vector<std::pair<std::string, std::string>>{
           {kElements + "mtllib a.mtl b.mtl\n" + face, "a.mtl"},
           {"mtllib first.mtl\nmtllib\nmtllib \t\n" + kElements + face, "first.mtl"},
           {"mtllib first.mtl\n" + kElements + "mtllib\tsecond.mtl\n" + face, "second.mtl"},
           {kElements + face, ""},
           {kElements + "MTLLIB x.mtl\n" + face, ""}}) {
    std::string mtl;
    EXPECT_EQ(CheckObjText(text, &mtl), "");
    EXPECT_EQ(mtl, name) << text;
  }
}

TEST(CheckObjFile, FaceRules) {
  struct Case {
    std::string faces;
    std::string reason;
  };
  const Case cases[] = {
      {"f -3/-3/-1 -2/-2/-1 -1/-1/-1\n", ""},
      {"f +1/+2/+1 2/3/1 3/1/1\n", ""},
      {"f\t1/1/1\v2/2/1\f3/3/1\r\n", ""},
      {"f 1//1 2//1 3//1\n", kOutOfRange},
      {"f 1 2 3\n", kNoSlashes},
      {"f 1/1 2/2 3/3\n", kNoSlashes},
      {"f 1/1/1 2/2/1 3\n", kNoSlashes},
      {"f 1/1/1/ 2/2/1 3/3/1\n", kOutOfRange},
      {"f 1/1/1/1 2/2/1 3/3/1\n", kOutOfRange},
      {"f 1///1 2/2/1 3/3/1\n", kOutOfRange},
      {"f 1/1/1 2/2/1 3/3/1 # a comment\n", kNoSlashes},
      {"f 4/1/1 2/2/1 3/3/1\nv 0 0 1\n", kOutOfRange},  // declared too late
      {"f 1/4/1 2/2/1 3/3/1\n", kOutOfRange},
      {"f 1/1/2 2/2/1 3/3/1\n", kOutOfRange},
      {"f 0/1/1 2/2/1 3/3/1\n", kOutOfRange},
      {"f -4/1/1 2/2/1 3/3/1\n", kOutOfRange},
      {"f 1/1/1 2/2/1 3/3/1 1/1/1\n", kNotTriangles},
      {"f 1/1/1 2/2/1 3/3/1 9/1/1\n", kOutOfRange},  // each corner is tested before the count
      {"f 1/1/1 2/2/1\n", kNotTriangles},
      {"f\n", kNotTriangles},
      {"f  \t \n", kNotTriangles},
      {"f 1/1/1 2/2/1 3/3/1\nf 1/1/1 2/2/1\n", kNotTriangles},
      {"F 1/1/1 2/2/1 3/3/1\n", kNoGeometry},  // unknown keyword, so no face at all
      {"ff 1 2 3\n", kNoGeometry},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(CheckObjText(kElements + c.faces), c.reason) << c.faces;
  }
}

TEST(CheckObjFile, GeometryAndObjectCounts) {
  const std::string face = "f 1/1/1 2/2/1 3/3/1\n";
  const std::pair<std::string, std::string> cases[] = {
      {"", kNoGeometry},
      {"\n", kNoGeometry},
      {"# only\n# comments\n", kNoGeometry},
      {kElements, kNoGeometry},
      {"V 0 0 0\nV 1 0 0\nV 0 1 0\nVT 0 0\nVN 0 0 1\nF 1/1/1 2/1/1 3/1/1\n", kNoGeometry},
      {"vt 0 0\nvn 0 0 1\nf 1/1/1 1/1/1 1/1/1\n", kOutOfRange},
      {"o a\n" + kElements + face, ""},
      {"g a\n" + kElements + face, ""},
      {"o a\ng b\n" + kElements + face, kSeveralObjects},
      {"g a\ng b\n" + kElements + face, kSeveralObjects},
      {"o a\no b\n" + kElements, kNoGeometry},  // geometry is tested first
      {"O a\nG b\n" + kElements + face, ""},
  };
  for (const auto &[text, reason] : cases) EXPECT_EQ(CheckObjText(text), reason) << text;
}

std::string Positions(int count) {
  std::string text;
  text.reserve(static_cast<std::size_t>(count) * 12);
  for (int i = 0; i < count; ++i) text += "v 0.1 0.2 0.3\n";
  return text;
}

TEST(CheckObjFile, VertexLimitAndEndRuleOrder) {
  const std::string rest = "vt 0 0\nvn 0 0 1\nf 1/1/1 2/1/1 -1/1/1\n";
  EXPECT_EQ(CheckObjText(Positions(65535) + rest), "");
  EXPECT_EQ(CheckObjText(Positions(65536) + rest), kTooManyVertices);
  EXPECT_EQ(CheckObjText(Positions(65536) + "o a\no b\n" + rest), kSeveralObjects);
  EXPECT_EQ(CheckObjText(Positions(65536) + "vt 0 0\nvn 0 0 1\n"), kNoGeometry);
  // The last position is reachable as -1 and as 65536, and no further.
  EXPECT_EQ(CheckObjText(Positions(65536) + "vt 0 0\nvn 0 0 1\nf 65536/1/1 1/1/1 65537/1/1\n"), kOutOfRange);
}

TEST(CheckObjFile, AFileThatCannotBeReadToItsEndIsRefused) {
  const std::string valid = kElements + "f 1/1/1 2/2/1 3/3/1\n";
  const std::string longest = "#" + std::string(64 * 1024 - 1, 'x') + "\n";  // exactly 64 KiB
  const std::string tooLong = "#" + std::string(64 * 1024, 'x') + "\n";
  EXPECT_EQ(CheckObjText(longest + valid), "");
  // Whatever follows a line too long to hold would never be checked: a quad after it must not pass.
  EXPECT_EQ(CheckObjText(valid + tooLong + "f 1/1/1 2/2/1 3/3/1 1/1/1\n"), "no se puede abrir model.obj");
  EXPECT_EQ(CheckObjText(tooLong + valid), "no se puede abrir model.obj");
  EXPECT_EQ(CheckObjText(valid + std::string(1024 * 1024, 'y')), "no se puede abrir model.obj");
  // A face rule that fails before the long line still gives its own reason.
  EXPECT_EQ(CheckObjText(kElements + "f 1 2 3\n" + tooLong), kNoSlashes);
}

}  // namespace
}  // namespace vantrels
