#include "sim_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <iostream>

namespace vantrels::sim {

namespace {

bool ParseIndex(std::string_view text, int &value) {
  const char *begin = text.data();
  const char *end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(begin, end, value);
  return begin != end && ec == std::errc() && ptr == end;
}

std::string Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

bool ParseOnOff(const std::string &name, const std::string &text, bool &value, std::string &error) {
  if (text == "on") {
    value = true;
  } else if (text == "off") {
    value = false;
  } else {
    error = name + " expects on or off, got '" + text + "'";
    return false;
  }
  return true;
}

}  // namespace

bool ParsePointList(const std::string &text, bool allowAll, std::vector<uint8_t> &out, std::string &error) {
  out.clear();
  const std::string whole = Trim(text);
  if (whole == "none") return true;
  if (whole == "all" && allowAll) {
    for (int i = 0; i < kPointCount; ++i) out.push_back(static_cast<uint8_t>(i));
    return true;
  }
  size_t start = 0;
  while (start <= whole.size()) {
    size_t comma = whole.find(',', start);
    if (comma == std::string::npos) comma = whole.size();
    const std::string item = Trim(std::string_view(whole).substr(start, comma - start));
    int first = 0;
    int last = 0;
    const size_t dash = item.find('-', 1);
    const bool ok = dash == std::string::npos ? ParseIndex(item, first) && (last = first, true)
                                              : ParseIndex(std::string_view(item).substr(0, dash), first) &&
                                                    ParseIndex(std::string_view(item).substr(dash + 1), last);
    if (!ok || first < 0 || last >= kPointCount || first > last) {
      error = "'" + item + "' is not a body point index 0 to 19 (or a range like 5-8) in '" + text + "'";
      return false;
    }
    for (int i = first; i <= last; ++i) {
      if (std::find(out.begin(), out.end(), i) != out.end()) {
        error = "body point " + std::to_string(i) + " is listed twice in '" + text + "'";
        return false;
      }
      out.push_back(static_cast<uint8_t>(i));
    }
    start = comma + 1;
  }
  return true;
}

std::optional<int> ParseSimOptions(int argc, const char *const *argv, SimOptions &o) {
  CLI::App app{
      "vantrels-sim: a simulated tracking server. Sends the body points of a moving person to the "
      "driver as POSES datagrams and reads back the driver's host pose reports."};
  int port = o.port;
  int version = o.version;
  int smoothing = o.smoothingMs;
  std::string points = "all";
  std::string headRelative = "none";
  std::string motion = "walk";
  std::string prediction = "on";
  std::string adaptive = "off";
  std::string follow = "on";
  std::string dropout = std::to_string(o.dropoutPoint);

  app.add_option("--port", port, "UDP port of the driver on 127.0.0.1")->capture_default_str();
  app.add_option("--version", version, "protocol version of the POSES messages, 1 to 4")->capture_default_str();
  app.add_option("--rate", o.rateHz, "captures per second")->capture_default_str();
  app.add_option("--seconds", o.seconds, "how long to send")->capture_default_str();
  app.add_option("--points", points, "body points to send: all, or a list like 0,1,2,5-8")->capture_default_str();
  app.add_option("--motion", motion, "idle, walk or dance")->capture_default_str();
  app.add_option("--latency-ms", o.latencyMs, "delay between capture and sending")->capture_default_str();
  app.add_option("--jitter-ms", o.jitterMs, "random extra delay 0..J per datagram; datagrams may overtake each other")
      ->capture_default_str();
  app.add_flag("--keep-order", o.keepOrder, "with jitter, never send a datagram before an earlier capture");
  app.add_option("--loss", o.loss, "fraction of datagrams dropped at random, 0 to 1")->capture_default_str();
  app.add_option("--smoothing-ms", smoothing, "smoothing time constant for the driver, 0 to 255 (version 3+)")
      ->capture_default_str();
  app.add_option("--prediction", prediction, "driver prediction on|off (version 4)")->capture_default_str();
  app.add_option("--adaptive", adaptive, "driver adaptive smoothing on|off (version 4)")->capture_default_str();
  app.add_option("--head-relative", headRelative, "body points flagged head-relative (version 3+), or none")
      ->capture_default_str();
  app.add_option("--seed", o.seed, "seed of the random loss and jitter")->capture_default_str();
  app.add_option("--dropout", dropout, "body point that loses tracking in the middle of the run, or none")
      ->capture_default_str();
  app.add_option("--dropout-seconds", o.dropoutSeconds, "how long that point stays lost")->capture_default_str();
  app.add_option("--follow-headset", follow, "move the body so that its eyes are at the reported headset on|off")
      ->capture_default_str();
  app.add_option("--wait-seconds", o.waitSeconds,
                 "with --follow-headset on: how long to wait for the first reported headset before the run "
                 "starts (0: start at once and glide under the headset when it is reported)")
      ->capture_default_str();
  app.add_option("--record", o.recordPath, "write the ground truth as JSON Lines to this file");
  app.add_flag("-v,--verbose", o.verbose, "print the reported headset and controllers once a second");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp &e) {
    return app.exit(e);
  } catch (const CLI::ParseError &e) {
    app.exit(e);
    return 2;
  }

  std::string error;
  auto fail = [&error](std::string message) {
    error = std::move(message);
    return false;
  };
  auto given = [&app](const char *name) { return app.count(name) > 0; };
  const bool ok = [&]() {
    if (port < 1 || port > 65535) return fail("--port must be 1 to 65535");
    if (version < 1 || version > 4) return fail("--version must be 1, 2, 3 or 4");
    if (!(o.rateHz > 0.0) || o.rateHz > 1000.0) return fail("--rate must be above 0 and at most 1000");
    if (!(o.seconds > 0.0) || !std::isfinite(o.seconds)) return fail("--seconds must be above 0");
    if (!(o.latencyMs >= 0.0) || o.latencyMs > 10000.0) return fail("--latency-ms must be 0 to 10000");
    if (!(o.jitterMs >= 0.0) || o.jitterMs > 10000.0) return fail("--jitter-ms must be 0 to 10000");
    if (!(o.loss >= 0.0 && o.loss <= 1.0)) return fail("--loss must be a fraction from 0 to 1");
    if (smoothing < 0 || smoothing > 255) return fail("--smoothing-ms must be 0 to 255");
    if (!(o.dropoutSeconds >= 0.0) || !std::isfinite(o.dropoutSeconds)) return fail("--dropout-seconds must be >= 0");
    if (!(o.waitSeconds >= 0.0) || o.waitSeconds > 3600.0) return fail("--wait-seconds must be 0 to 3600");
    const auto m = ParseMotion(motion);
    if (!m) return fail("--motion expects idle, walk or dance, got '" + motion + "'");
    o.motion = *m;
    if (!ParseOnOff("--prediction", prediction, o.prediction, error)) return false;
    if (!ParseOnOff("--adaptive", adaptive, o.adaptive, error)) return false;
    if (!ParseOnOff("--follow-headset", follow, o.followHeadset, error)) return false;
    if (!ParsePointList(points, true, o.points, error)) return fail("--points: " + error);
    if (o.points.empty()) return fail("--points names no body point");
    if (!ParsePointList(headRelative, false, o.headRelative, error)) return fail("--head-relative: " + error);
    for (uint8_t i : o.headRelative) {
      if (std::find(o.points.begin(), o.points.end(), i) == o.points.end()) {
        return fail("--head-relative: body point " + std::to_string(i) + " is not among --points");
      }
    }
    if (dropout == "none") {
      o.dropoutPoint = -1;
    } else {
      int d = 0;
      if (!ParseIndex(dropout, d) || d < 0 || d >= kPointCount) {
        return fail("--dropout expects a body point index 0 to 19 or none, got '" + dropout + "'");
      }
      o.dropoutPoint = d;
    }
    // Settings the chosen version has no room for would silently not reach the driver.
    if (version < 3 && (smoothing != 0 || !o.headRelative.empty())) {
      return fail("--smoothing-ms and --head-relative need --version 3 or 4");
    }
    if (version < 4 && (given("--prediction") || given("--adaptive"))) {
      return fail("--prediction and --adaptive need --version 4");
    }
    return true;
  }();
  if (!ok) {
    std::cerr << "vantrels-sim: " << error << "\n";
    return 2;
  }
  o.port = static_cast<uint16_t>(port);
  o.version = static_cast<uint8_t>(version);
  o.smoothingMs = static_cast<uint8_t>(smoothing);
  return std::nullopt;
}

}  // namespace vantrels::sim
