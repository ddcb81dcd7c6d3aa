#include "rendermodel/obj_check.h"

#include <exception>
#include <limits>
#include <new>

#include "rendermodel/line_pieces.h"
#include "rendermodel/model_file.h"

namespace vantrels {

namespace {

constexpr int32_t kMaxPositions = 65535;

constexpr const char *kNoGeometry = "el OBJ no tiene geometría";
constexpr const char *kNoTexcoordOrNormal = "caras sin coordenadas de textura o normales";
constexpr const char *kIndexOutOfRange = "índice fuera de rango en una cara";
constexpr const char *kNotTriangles = "caras que no son triángulos";
constexpr const char *kSeveralObjects = "el OBJ tiene más de un objeto (SteamVR solo admite uno)";
constexpr const char *kTooManyVertices = "demasiados vértices";

// Counts stop at the int32 maximum instead of wrapping, so a huge file can't turn a count negative.
void Bump(int32_t &count) {
  if (count < std::numeric_limits<int32_t>::max()) ++count;
}

struct ObjCounts {
  int32_t positions = 0;
  int32_t texcoords = 0;
  int32_t normals = 0;
  int32_t objects = 0;
  int32_t faces = 0;
};

bool InRange(std::string_view number, int32_t count) {
  const int32_t index = ParseFaceIndex(number, count);
  return index >= 1 && index <= count;
}

// The rest of an "f" line after the keyword; returns a reason, or nullptr when the face is accepted.
const char *CheckFace(std::string_view rest, ObjCounts &counts) {
  int corners = 0;
  for (std::string_view corner = NextPiece(rest); !corner.empty(); corner = NextPiece(rest)) {
    const std::size_t first = corner.find('/');
    if (first == std::string_view::npos) return kNoTexcoordOrNormal;
    const std::size_t second = corner.find('/', first + 1);
    if (second == std::string_view::npos) return kNoTexcoordOrNormal;
    if (!InRange(corner.substr(0, first), counts.positions) ||
        !InRange(corner.substr(first + 1, second - first - 1), counts.texcoords) ||
        !InRange(corner.substr(second + 1), counts.normals)) {
      return kIndexOutOfRange;
    }
    ++corners;  // bounded by the line length
  }
  if (corners != 3) return kNotTriangles;
  Bump(counts.faces);
  return nullptr;
}

}  // namespace

int32_t ParseFaceIndex(std::string_view text, int32_t count) noexcept {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return 0;
  // Accumulate the magnitude, held just past the int32 range so that long numbers can't overflow.
  constexpr int64_t kCap = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > kCap) magnitude = kCap;
  }
  if (magnitude == 0) return 0;
  if (!negative) {
    return magnitude > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                           : static_cast<int32_t>(magnitude);
  }
  const int64_t value = -magnitude;  // -kCap is exactly the int32 minimum
  int64_t index = value + int64_t{count} + 1;
  if (index < std::numeric_limits<int32_t>::min()) index = std::numeric_limits<int32_t>::min();
  if (index > std::numeric_limits<int32_t>::max()) index = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(index);
}

std::string CheckObjFile(const std::filesystem::path &objPath, std::string &materialLibrary) noexcept {
  try {
    ModelFile file;
    const auto cannotRead = [&objPath] { return "no se puede abrir " + objPath.filename().string(); };
    if (!file.Open(objPath)) return cannotRead();

    // A file that can't be read to its end (a read error, a line too long to hold) is refused like
    // one that can't be opened: what follows the failure would otherwise never be checked.
    LineReader reader(file);
    std::string_view line;
    if (!reader.Next(line)) return reader.Failed() ? cannotRead() : kNoGeometry;

    ObjCounts counts;
    do {
      std::string_view rest = line;
      const std::string_view keyword = NextPiece(rest);
      if (keyword == "v") {
        Bump(counts.positions);
      } else if (keyword == "vt") {
        Bump(counts.texcoords);
      } else if (keyword == "vn") {
        Bump(counts.normals);
      } else if (keyword == "o" || keyword == "g") {
        Bump(counts.objects);
      } else if (keyword == "mtllib") {
        const std::string_view name = NextPiece(rest);
        if (!name.empty()) materialLibrary.assign(name);
      } else if (keyword == "f") {
        if (const char *reason = CheckFace(rest, counts)) return reason;
      }
    } while (reader.Next(line));
    if (reader.Failed()) return cannotRead();

    if (counts.positions == 0 || counts.faces == 0) return kNoGeometry;
    if (counts.objects >= 2) return kSeveralObjects;
    if (counts.positions > kMaxPositions) return kTooManyVertices;
    return {};
  } catch (const std::bad_alloc &) {
    return "sin memoria";  // short enough to need no allocation
  } catch (const std::exception &) {
    return "no se puede abrir el OBJ";
  }
}

}  // namespace vantrels
