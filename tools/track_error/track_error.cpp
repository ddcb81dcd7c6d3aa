#include "track_error.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <numbers>
#include <unordered_map>

namespace vantrels::sim {

namespace {

constexpr const char *kSerials[kPointCount] = {
    "VANTRL-HEAD",          "VANTRL-CHEST",      "VANTRL-WAIST",         "VANTRL-LEFT-KNEE",      "VANTRL-RIGHT-KNEE",
    "VANTRL-LEFT-FOOT",     "VANTRL-RIGHT-FOOT", "VANTRL-LEFT-ELBOW",    "VANTRL-RIGHT-ELBOW",    "VANTRL-NECK",
    "VANTRL-UPPER-CHEST",   "VANTRL-HIP",        "VANTRL-LEFT-SHOULDER", "VANTRL-RIGHT-SHOULDER", "VANTRL-LEFT-FOREARM",
    "VANTRL-RIGHT-FOREARM", "VANTRL-LEFT-HAND",  "VANTRL-RIGHT-HAND",    "VANTRL-LEFT-SHIN",      "VANTRL-RIGHT-SHIN"};

using nlohmann::json;

std::optional<double> Number(const json &j, const char *key) {
  const auto it = j.find(key);
  if (it == j.end() || !it->is_number()) return std::nullopt;
  return it->get<double>();
}

// A vector written as [x, y, z].
std::optional<Vec3> VectorOf(const json &j, const char *key) {
  const auto it = j.find(key);
  if (it == j.end() || !it->is_array() || it->size() != 3) return std::nullopt;
  for (const json &v : *it) {
    if (!v.is_number()) return std::nullopt;
  }
  return Vec3{(*it)[0].get<double>(), (*it)[1].get<double>(), (*it)[2].get<double>()};
}

// A quaternion written as {"w":..,"x":..,"y":..,"z":..} or as [w, x, y, z].
std::optional<Quat> QuatOf(const json &j, const char *key) {
  const auto it = j.find(key);
  if (it == j.end()) return std::nullopt;
  if (it->is_object()) {
    const auto w = Number(*it, "w"), x = Number(*it, "x"), y = Number(*it, "y"), z = Number(*it, "z");
    if (!w || !x || !y || !z) return std::nullopt;
    return Quat{*w, *x, *y, *z};
  }
  if (it->is_array() && it->size() == 4) {
    for (const json &v : *it) {
      if (!v.is_number()) return std::nullopt;
    }
    return Quat{(*it)[0].get<double>(), (*it)[1].get<double>(), (*it)[2].get<double>(), (*it)[3].get<double>()};
  }
  return std::nullopt;
}

std::optional<int64_t> TimeOf(const json &j) {
  for (const char *key : {"monotonicNs", "monotonic_ns", "timeNs", "t_ns"}) {
    const auto it = j.find(key);
    if (it != j.end() && it->is_number_integer()) return it->get<int64_t>();
  }
  return std::nullopt;
}

bool Flag(const json &j, const char *key, bool fallback) {
  const auto it = j.find(key);
  return it != j.end() && it->is_boolean() ? it->get<bool>() : fallback;
}

double Percentile95(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  // Nearest rank: the smallest value with at least 95 % of the values at or below it.
  const size_t rank = static_cast<size_t>(std::ceil(0.95 * static_cast<double>(values.size())));
  return values[std::max<size_t>(rank, 1) - 1];
}

ErrorStats Summarise(const std::vector<double> &positionMm, const std::vector<double> &rotationDeg) {
  ErrorStats s;
  s.count = positionMm.size();
  if (s.count == 0) return s;
  double p2 = 0.0;
  double r2 = 0.0;
  for (size_t i = 0; i < s.count; ++i) {
    p2 += positionMm[i] * positionMm[i];
    r2 += rotationDeg[i] * rotationDeg[i];
  }
  s.positionRmsMm = std::sqrt(p2 / static_cast<double>(s.count));
  s.rotationRmsDeg = std::sqrt(r2 / static_cast<double>(s.count));
  s.positionP95Mm = Percentile95(positionMm);
  s.rotationP95Deg = Percentile95(rotationDeg);
  return s;
}

}  // namespace

std::optional<uint8_t> BodyPointForSerial(std::string_view serial) {
  for (int i = 0; i < kPointCount; ++i) {
    if (serial == kSerials[i]) return static_cast<uint8_t>(i);
  }
  return std::nullopt;
}

std::optional<uint8_t> BodyPointForName(std::string_view name) {
  int number = -1;
  const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), number);
  if (ec == std::errc() && end == name.data() + name.size() && !name.empty()) {
    return number >= 0 && number < kPointCount ? std::optional<uint8_t>(static_cast<uint8_t>(number)) : std::nullopt;
  }
  std::string serial;
  for (char c : name) {
    serial += c == ' ' || c == '_' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  if (!serial.starts_with("VANTRL-")) serial = "VANTRL-" + serial;
  return BodyPointForSerial(serial);
}

const char *SerialForBodyPoint(uint8_t index) {
  return index < kPointCount ? kSerials[index] : "?";
}

Truth ReadTruth(std::istream &in) {
  Truth truth;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    const json j = json::parse(line, nullptr, false);
    const auto index = j.is_object() ? Number(j, "index") : std::nullopt;
    const auto t = j.is_object() ? TimeOf(j) : std::nullopt;
    if (!index || !t || *index < 0 || *index >= kPointCount) {
      ++truth.badLines;
      continue;
    }
    const auto x = Number(j, "x"), y = Number(j, "y"), z = Number(j, "z");
    const auto qw = Number(j, "qw"), qx = Number(j, "qx"), qy = Number(j, "qy"), qz = Number(j, "qz");
    if (!x || !y || !z || !qw || !qx || !qy || !qz) {
      ++truth.badLines;
      continue;
    }
    truth.points[static_cast<size_t>(*index)].push_back(
        {*t, {*x, *y, *z}, Normalized({*qw, *qx, *qy, *qz}), Flag(j, "valid", true)});
  }
  for (auto &series : truth.points) {
    std::stable_sort(series.begin(), series.end(),
                     [](const TruthSample &a, const TruthSample &b) { return a.tNs < b.tNs; });
  }
  return truth;
}

HostRecord ReadHostRecord(std::istream &in) {
  HostRecord record;
  std::unordered_map<int64_t, uint8_t> pointOfDevice;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    const json j = json::parse(line, nullptr, false);
    if (!j.is_object() || !j.contains("call") || !j["call"].is_string()) {
      ++record.badLines;
      continue;
    }
    const std::string call = j["call"].get<std::string>();
    if (call == "TrackedDeviceAdded") {
      const auto it = j.find("serial");
      const auto device = Number(j, "deviceIndex");
      if (!Flag(j, "result", true) || it == j.end() || !it->is_string() || !device) continue;
      if (const auto point = BodyPointForSerial(it->get<std::string>())) {
        pointOfDevice[static_cast<int64_t>(*device)] = *point;
      }
    } else if (call == "TrackedDevicePoseUpdated") {
      const auto device = Number(j, "deviceIndex");
      const auto poseIt = j.find("pose");
      if (!device || poseIt == j.end() || !poseIt->is_object()) {
        ++record.badLines;
        continue;
      }
      const json &pose = *poseIt;
      if (!Flag(pose, "poseIsValid", false)) {
        ++record.invalidPoses;
        continue;
      }
      const auto found = pointOfDevice.find(static_cast<int64_t>(*device));
      if (found == pointOfDevice.end()) {
        ++record.unknownDevice;
        continue;
      }
      const auto t = TimeOf(j);
      if (!t) {
        ++record.missingTime;
        continue;
      }
      const auto position = VectorOf(pose, "vecPosition");
      const auto rotation = QuatOf(pose, "qRotation");
      if (!position || !rotation) {
        ++record.badLines;
        continue;
      }
      // The device's place in tracking space: world-from-driver, then the pose, then
      // driver-from-head (absent fields count as identity).
      const Quat worldRot = Normalized(QuatOf(pose, "qWorldFromDriverRotation").value_or(Quat{}));
      const Vec3 worldPos = VectorOf(pose, "vecWorldFromDriverTranslation").value_or(Vec3{});
      const Quat headRot = Normalized(QuatOf(pose, "qDriverFromHeadRotation").value_or(Quat{}));
      const Vec3 headPos = VectorOf(pose, "vecDriverFromHeadTranslation").value_or(Vec3{});
      const Quat q = Normalized(*rotation);
      Submission s;
      s.tNs = *t;
      s.index = found->second;
      s.position = Rotate(worldRot, *position + Rotate(q, headPos)) + worldPos;
      s.rotation = worldRot * q * headRot;
      record.submissions.push_back(s);
    }
  }
  return record;
}

std::optional<PointPose> TruthAt(const std::vector<TruthSample> &series, int64_t tNs) {
  if (series.empty() || tNs < series.front().tNs || tNs > series.back().tNs) return std::nullopt;
  const auto after =
      std::lower_bound(series.begin(), series.end(), tNs, [](const TruthSample &s, int64_t t) { return s.tNs < t; });
  if (after->tNs == tNs) {
    if (!after->valid) return std::nullopt;
    return PointPose{after->position, after->rotation};
  }
  const TruthSample &b = *after;
  const TruthSample &a = *(after - 1);
  if (!a.valid || !b.valid) return std::nullopt;
  const double u = static_cast<double>(tNs - a.tNs) / static_cast<double>(b.tNs - a.tNs);
  return PointPose{Lerp(a.position, b.position, u), Slerp(a.rotation, b.rotation, u)};
}

Evaluation Evaluate(const Truth &truth, const std::vector<Submission> &submissions) {
  Evaluation result;
  std::array<std::vector<double>, kPointCount> positionMm;
  std::array<std::vector<double>, kPointCount> rotationDeg;
  std::vector<double> allPosition;
  std::vector<double> allRotation;
  for (const Submission &s : submissions) {
    const auto &series = truth.points[s.index];
    if (series.empty() || s.tNs < series.front().tNs || s.tNs > series.back().tNs) {
      ++result.outsideTruth;
      continue;
    }
    const auto expected = TruthAt(series, s.tNs);
    if (!expected) {
      ++result.notTracked;
      continue;
    }
    const double p = Length(s.position - expected->position) * 1000.0;
    const double r = AngleBetween(s.rotation, expected->rotation) * 180.0 / std::numbers::pi;
    result.samples.push_back({s.tNs, s.index, p, r, s.position, expected->position});
    positionMm[s.index].push_back(p);
    rotationDeg[s.index].push_back(r);
    allPosition.push_back(p);
    allRotation.push_back(r);
  }
  for (uint8_t i = 0; i < kPointCount; ++i) {
    if (!positionMm[i].empty()) result.perPoint.emplace_back(i, Summarise(positionMm[i], rotationDeg[i]));
  }
  result.overall = Summarise(allPosition, allRotation);
  return result;
}

std::string FormatEvaluation(const Evaluation &e, const HostRecord &host) {
  std::string out;
  char line[256];
  auto row = [&](const char *name, const ErrorStats &s) {
    std::snprintf(line, sizeof line, "%-22s %7zu %11.1f %11.1f %11.2f %11.2f\n", name, s.count, s.positionRmsMm,
                  s.positionP95Mm, s.rotationRmsDeg, s.rotationP95Deg);
    out += line;
  };
  std::snprintf(line, sizeof line, "%-22s %7s %11s %11s %11s %11s\n", "tracker", "poses", "pos RMS mm", "pos p95 mm",
                "rot RMS deg", "rot p95 deg");
  out += line;
  for (const auto &[index, stats] : e.perPoint) row(SerialForBodyPoint(index), stats);
  row("all trackers", e.overall);

  auto note = [&](size_t n, const char *what) {
    if (n == 0) return;
    std::snprintf(line, sizeof line, "  %zu %s\n", n, what);
    out += line;
  };
  if (e.outsideTruth + e.notTracked + host.invalidPoses + host.unknownDevice + host.missingTime + host.badLines > 0) {
    out += "not compared:\n";
  }
  note(host.invalidPoses, "poses submitted as not valid");
  note(e.notTracked, "valid poses while the simulator reported the point as not tracked");
  note(e.outsideTruth, "poses outside the ground truth's time span");
  note(host.unknownDevice, "poses of devices without a body point serial");
  note(host.missingTime, "poses without a monotonic time in the host record");
  note(host.badLines, "host record lines that could not be read");
  return out;
}

void WritePlotData(const Evaluation &e, std::ostream &out) {
  out << "t_s,tracker,position_error_mm,rotation_error_deg,x,y,z,true_x,true_y,true_z\n";
  if (e.samples.empty()) return;
  int64_t first = e.samples.front().tNs;
  for (const ErrorSample &s : e.samples) first = std::min(first, s.tNs);
  char line[320];
  for (const ErrorSample &s : e.samples) {
    std::snprintf(line, sizeof line, "%.6f,%s,%.4f,%.4f,%.6f,%.6f,%.6f,%.6f,%.6f,%.6f\n",
                  static_cast<double>(s.tNs - first) * 1e-9, SerialForBodyPoint(s.index), s.positionMm, s.rotationDeg,
                  s.submitted.x, s.submitted.y, s.submitted.z, s.truth.x, s.truth.y, s.truth.z);
    out << line;
  }
}

}  // namespace vantrels::sim
