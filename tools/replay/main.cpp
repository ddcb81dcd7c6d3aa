// vantrels-replay: feeds a recorded stream of filter operations through one pose filter and prints the
// filter's observable state after each operation, so that recordings from the field can be reproduced
// and the filter's numbers compared with another implementation.

#include <cmath>
#include <cstdio>
#include <exception>
#include <initializer_list>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "pose/pose_filter.h"
#include "pose/pose_math.h"

namespace {

using nlohmann::json;
using vantrels::FilterSettings;
using vantrels::PoseFilter;
using vantrels::Quat;
using vantrels::Vec3;

constexpr const char *kUsage =
    "usage: vantrels-replay [--help] < OPERATIONS.jsonl > STATES.jsonl\n"
    "\n"
    "Replays a recorded stream through one pose filter. Standard input holds JSON Lines, one operation\n"
    "per line:\n"
    "  {\"op\":\"sample\",\"position\":[x,y,z],\"rotation\":[w,x,y,z],\"headRelative\":bool,\n"
    "   \"headAnchor\":[x,y,z]|null,\"sampleTime\":s,\"now\":s,\"settings\":SETTINGS}\n"
    "  {\"op\":\"step\",\"headNow\":[x,y,z]|null,\"headStep\":[x,y,z],\"now\":s,\"dt\":s,\"settings\":SETTINGS}\n"
    "  {\"op\":\"reset\"}   empties the window as on a tracker timeout\n"
    "  {\"op\":\"new\"}     replaces the filter with a new one\n"
    "where SETTINGS is {\"prediction\":bool,\"smoothingSeconds\":s,\"adaptiveSmoothing\":bool}.\n"
    "Every key shown is required (headAnchor and headNow may be null); other keys are ignored.\n"
    "\n"
    "After each operation one line goes to standard output with the filter's state, keys in this order:\n"
    "  {\"outputValid\":bool,\"smoothedPosition\":[x,y,z],\"smoothedRotation\":[w,x,y,z],\n"
    "   \"positionCorrection\":[x,y,z],\"rotationCorrection\":[w,x,y,z],\"count\":n,\"headRelative\":bool,\n"
    "   \"linearSpeed\":v,\"angularSpeed\":v}\n"
    "Numbers are printed with 17 significant digits; a number that is not finite (NaN or infinite) is\n"
    "printed as null, since JSON has no notation for it.\n"
    "\n"
    "Blank lines are skipped. A malformed line (bad JSON, unknown op, a missing or mistyped field, an\n"
    "array of the wrong length) is reported on standard error with its line number and skipped, with no\n"
    "output line. Exit status: 0 when every line was applied, 1 when a line was skipped or output could\n"
    "not be written, 2 on bad arguments.\n";

// The reason a line cannot be applied; empty while it can.
using Problem = std::string;

Problem ReadNumber(const json &object, const char *key, double &out) {
  const auto it = object.find(key);
  if (it == object.end()) return std::string("missing \"") + key + "\"";
  if (!it->is_number()) return std::string("\"") + key + "\" is not a number";
  out = it->get<double>();
  return {};
}

Problem ReadBool(const json &object, const char *key, bool &out) {
  const auto it = object.find(key);
  if (it == object.end()) return std::string("missing \"") + key + "\"";
  if (!it->is_boolean()) return std::string("\"") + key + "\" is not true or false";
  out = it->get<bool>();
  return {};
}

// Reads an array of exactly n numbers.
template <size_t N>
Problem ReadNumbers(const json &value, const char *key, double (&out)[N]) {
  if (!value.is_array() || value.size() != N) {
    return std::string("\"") + key + "\" is not an array of " + std::to_string(N) + " numbers";
  }
  for (size_t i = 0; i < N; ++i) {
    if (!value[i].is_number()) return std::string("\"") + key + "\" holds something that is not a number";
    out[i] = value[i].get<double>();
  }
  return {};
}

// Reads the array of exactly n numbers under a key that must be present.
template <size_t N>
Problem ReadField(const json &object, const char *key, double (&out)[N]) {
  const auto it = object.find(key);
  if (it == object.end()) return std::string("missing \"") + key + "\"";
  return ReadNumbers(*it, key, out);
}

Problem ReadVec3(const json &object, const char *key, Vec3 &out) {
  double v[3];
  if (Problem p = ReadField(object, key, v); !p.empty()) return p;
  out = {v[0], v[1], v[2]};
  return {};
}

Problem ReadOptionalVec3(const json &object, const char *key, std::optional<Vec3> &out) {
  const auto it = object.find(key);
  if (it == object.end()) return std::string("missing \"") + key + "\" (null when absent)";
  if (it->is_null()) {
    out.reset();
    return {};
  }
  Vec3 v;
  if (Problem p = ReadVec3(object, key, v); !p.empty()) return p + " or null";
  out = v;
  return {};
}

Problem ReadQuat(const json &object, const char *key, Quat &out) {
  double v[4];
  if (Problem p = ReadField(object, key, v); !p.empty()) return p;
  out = {v[0], v[1], v[2], v[3]};
  return {};
}

Problem ReadSettings(const json &object, FilterSettings &out) {
  const auto it = object.find("settings");
  if (it == object.end()) return "missing \"settings\"";
  if (!it->is_object()) return "\"settings\" is not an object";
  if (Problem p = ReadBool(*it, "prediction", out.prediction); !p.empty()) return "settings: " + p;
  if (Problem p = ReadNumber(*it, "smoothingSeconds", out.smoothingSeconds); !p.empty()) return "settings: " + p;
  if (Problem p = ReadBool(*it, "adaptiveSmoothing", out.adaptiveSmoothing); !p.empty()) return "settings: " + p;
  return {};
}

Problem ApplySample(const json &op, PoseFilter &filter) {
  Vec3 position;
  Quat rotation;
  bool headRelative = false;
  std::optional<Vec3> headAnchor;
  double sampleTime = 0.0;
  double now = 0.0;
  FilterSettings settings;
  Problem p = ReadVec3(op, "position", position);
  if (p.empty()) p = ReadQuat(op, "rotation", rotation);
  if (p.empty()) p = ReadBool(op, "headRelative", headRelative);
  if (p.empty()) p = ReadOptionalVec3(op, "headAnchor", headAnchor);
  if (p.empty()) p = ReadNumber(op, "sampleTime", sampleTime);
  if (p.empty()) p = ReadNumber(op, "now", now);
  if (p.empty()) p = ReadSettings(op, settings);
  if (p.empty()) filter.AddSample(position, rotation, headRelative, headAnchor, sampleTime, now, settings);
  return p;
}

Problem ApplyStep(const json &op, PoseFilter &filter) {
  std::optional<Vec3> headNow;
  Vec3 headStep;
  double now = 0.0;
  double dt = 0.0;
  FilterSettings settings;
  Problem p = ReadOptionalVec3(op, "headNow", headNow);
  if (p.empty()) p = ReadVec3(op, "headStep", headStep);
  if (p.empty()) p = ReadNumber(op, "now", now);
  if (p.empty()) p = ReadNumber(op, "dt", dt);
  if (p.empty()) p = ReadSettings(op, settings);
  if (p.empty()) filter.Step(headNow, headStep, now, dt, settings);
  return p;
}

Problem Apply(const std::string &line, PoseFilter &filter) {
  json op;
  try {
    op = json::parse(line);
  } catch (const json::exception &e) {
    // The parser's own message names the offending byte and, for numbers too large for a double, says so.
    return std::string("not valid JSON (") + e.what() + ")";
  }
  if (!op.is_object()) return "not a JSON object";
  const auto it = op.find("op");
  if (it == op.end()) return "missing \"op\"";
  if (!it->is_string()) return "\"op\" is not a string";
  const std::string &name = it->get_ref<const std::string &>();
  if (name == "sample") return ApplySample(op, filter);
  if (name == "step") return ApplyStep(op, filter);
  if (name == "reset") {
    filter.ResetFilter();
    return {};
  }
  if (name == "new") {
    filter = PoseFilter{};
    return {};
  }
  std::string shown = it->dump(-1, ' ', false, json::error_handler_t::replace);
  if (shown.size() > 64) shown = shown.substr(0, 60) + "...\"";
  return "unknown op " + shown;
}

void AppendNumber(std::string &out, double v) {
  if (!std::isfinite(v)) {
    out += "null";
    return;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", v);
  out += text;
}

void AppendNumbers(std::string &out, std::initializer_list<double> values) {
  out += '[';
  const char *separator = "";
  for (double v : values) {
    out += separator;
    AppendNumber(out, v);
    separator = ",";
  }
  out += ']';
}

void AppendVec3(std::string &out, const Vec3 &v) {
  AppendNumbers(out, {v.x, v.y, v.z});
}

void AppendQuat(std::string &out, const Quat &q) {
  AppendNumbers(out, {q.w, q.x, q.y, q.z});
}

const char *Bool(bool b) {
  return b ? "true" : "false";
}

std::string StateLine(const PoseFilter &f) {
  std::string out;
  out.reserve(512);
  out += "{\"outputValid\":";
  out += Bool(f.outputValid);
  out += ",\"smoothedPosition\":";
  AppendVec3(out, f.smoothedPosition);
  out += ",\"smoothedRotation\":";
  AppendQuat(out, f.smoothedRotation);
  out += ",\"positionCorrection\":";
  AppendVec3(out, f.positionCorrection);
  out += ",\"rotationCorrection\":";
  AppendQuat(out, f.rotationCorrection);
  out += ",\"count\":";
  out += std::to_string(f.count);
  out += ",\"headRelative\":";
  out += Bool(f.headRelative);
  out += ",\"linearSpeed\":";
  AppendNumber(out, f.linearSpeed);
  out += ",\"angularSpeed\":";
  AppendNumber(out, f.angularSpeed);
  out += "}\n";
  return out;
}

bool IsBlank(const std::string &line) {
  return line.find_first_not_of(" \t\r\n\f\v") == std::string::npos;
}

int Replay() {
  PoseFilter filter;
  bool skipped = false;
  std::string line;
  unsigned long long lineNumber = 0;
  while (std::getline(std::cin, line)) {
    ++lineNumber;
    if (IsBlank(line)) continue;
    if (const Problem problem = Apply(line, filter); !problem.empty()) {
      std::fprintf(stderr, "vantrels-replay: line %llu: %s; skipped\n", lineNumber, problem.c_str());
      skipped = true;
      continue;
    }
    const std::string state = StateLine(filter);
    std::fwrite(state.data(), 1, state.size(), stdout);
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "vantrels-replay: could not write the output\n");
    return 1;
  }
  return skipped ? 1 : 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc != 1) {
    std::fprintf(stderr, "vantrels-replay: unexpected argument %s\n%s", argv[1], kUsage);
    return 2;
  }
  try {
    std::ios::sync_with_stdio(false);
    return Replay();
  } catch (const std::exception &e) {
    // Only resource exhaustion can get here; report it rather than abort.
    std::fprintf(stderr, "vantrels-replay: %s\n", e.what());
    return 1;
  }
}
