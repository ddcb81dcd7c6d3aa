// server: what a tracking server sends to the driver's port, read with the driver's own parser.
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "checks.h"
#include "driver/device_provider.h"
#include "link/poses_message.h"
#include "pose/pose_intake.h"
#include "trackers/body_points.h"

namespace vantrels::doctor {

namespace {

// Why ParsePoses turned a datagram down, in the order it checks.
std::string RejectionReason(const uint8_t *d, size_t size) {
  if (size > static_cast<size_t>(DeviceProvider::kReceiveBufferSize)) {
    return "longer than the " + std::to_string(DeviceProvider::kReceiveBufferSize) + " bytes the driver reads";
  }
  if (size < kCommonHeaderSize) return "shorter than the 8-byte header";
  if (std::memcmp(d, kMagic, sizeof kMagic) != 0) return "without the VNTR magic";
  if (d[5] == static_cast<uint8_t>(MessageType::HostPoses)) return "host pose reports (type 2), which the driver sends";
  if (d[5] != static_cast<uint8_t>(MessageType::Poses)) return "of type " + std::to_string(d[5]) + ", not POSES (1)";
  if (d[4] < 1 || d[4] > kProtocolVersion) {
    return "of version " + std::to_string(d[4]) + " (the driver reads versions 1 to " +
           std::to_string(kProtocolVersion) + ")";
  }
  return "shorter than their record count needs";
}

// Senders kept by name; more only add to the count of datagrams.
constexpr size_t kMaxSenders = 8;

template <typename Container, typename Format>
std::string List(const Container &items, Format format) {
  std::string text;
  for (const auto &item : items) text += (text.empty() ? "" : ", ") + format(item);
  return text;
}

}  // namespace

void CountDatagram(Traffic &t, const uint8_t *data, size_t size, const std::string &sender) {
  ++t.datagrams;
  if (t.senders.size() < kMaxSenders) t.senders.insert(sender);
  std::vector<PointSample> samples;
  PosesHeader header;
  if (size > static_cast<size_t>(DeviceProvider::kReceiveBufferSize) || !ParsePoses(data, size, samples, &header)) {
    ++t.rejections[RejectionReason(data, size)];
    return;
  }
  ++t.accepted;
  ++t.versions[header.version];
  for (const PointSample &s : samples) {
    ++t.records;
    if (FindBodyPoint(s.index) == nullptr || !IsUsablePose(s.position, s.rotation)) {
      ++t.invalid;
      continue;
    }
    t.points.insert(s.index);
    if (!s.valid) ++t.untracked;
  }
}

CheckResult CheckServer(uint16_t port, PortState state, const Listening &listening) {
  const std::string id = "server";
  const std::string where = "127.0.0.1:" + std::to_string(port);
  if (state == PortState::SteamVr) {
    return Note(id, "SteamVR's server holds " + where +
                        ", so the doctor can't listen there; whether poses arrive shows in the driver's log (see log)");
  }
  if (state == PortState::Taken)
    return Note(id, "Another program holds " + where + ", so nothing was listened to (see port)");
  if (!listening.error.empty()) {
    return Fail(id, "Could not listen on " + where + ": " + listening.error,
                "Close the program that holds the port (see port) and run the doctor again.");
  }
  const Traffic &t = listening.traffic;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%g s", listening.seconds);
  const std::string rejected =
      List(t.rejections, [](const auto &r) { return std::to_string(r.second) + " " + r.first; });
  if (t.datagrams == 0) {
    return Fail(id, "Nothing arrived on " + where + " in " + seconds,
                "Start the tracking server and have it send to 127.0.0.1 port " + std::to_string(port) +
                    " (the driver's port; change one of them if they differ), then run the doctor again while "
                    "SteamVR is closed.");
  }
  const std::string from = " from " + List(t.senders, [](const std::string &s) { return s; }) +
                           (t.senders.size() > 1 ? " (several senders: only one server should send)" : "");
  if (t.accepted == 0) {
    return Fail(id,
                std::to_string(t.datagrams) + " datagrams arrived on " + where + from +
                    ", but none is a POSES message the driver reads: " + rejected,
                "The sender speaks another protocol or version: update the tracking server, or stop whatever else "
                "sends to this port.");
  }
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.1f", static_cast<double>(t.accepted) / listening.seconds);
  std::string summary = std::string(rate) + " POSES messages per second on " + where + from + " (version " +
                        List(t.versions, [](const auto &v) { return std::to_string(v.first); }) + "); ";
  if (t.points.empty()) {
    summary += "no body points yet (a server that waits for the driver's answer sends empty messages)";
  } else {
    summary += std::to_string(t.points.size()) +
               " body points: " + List(t.points, [](size_t i) { return std::string(kBodyPoints[i].displayName); });
  }
  summary += "; " + std::to_string(t.invalid) + " invalid records of " + std::to_string(t.records);
  if (t.untracked > 0) summary += ", " + std::to_string(t.untracked) + " marked not tracked";
  summary += "; " + (rejected.empty() ? std::string("no datagram rejected") : "rejected: " + rejected);
  return Pass(id, summary);
}

}  // namespace vantrels::doctor
