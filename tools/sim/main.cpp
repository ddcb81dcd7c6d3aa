// vantrels-sim: a stand-in tracking server. It sends the body points of a simulated person to
// the driver and listens for the driver's host pose reports on the same socket.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <queue>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "capture.h"
#include "host_report.h"
#include "poses_encoder.h"
#include "sim_options.h"
#include "sim_socket.h"
#include "truth_recorder.h"

using namespace vantrels::sim;

namespace {

volatile std::sig_atomic_t gStop = 0;

void OnSignal(int) {
  gStop = 1;
}

// CLOCK_MONOTONIC on Linux, the clock the substitute host stamps its pose updates with.
int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

struct Pending {
  int64_t sendNs = 0;
  uint64_t sequence = 0;  // capture order, so equal send times keep it
  std::vector<uint8_t> bytes;
  bool operator>(const Pending &other) const {
    return sendNs != other.sendNs ? sendNs > other.sendNs : sequence > other.sequence;
  }
};

struct Counters {
  uint64_t datagramsSent = 0;
  uint64_t recordsSent = 0;
  uint64_t dropped = 0;
  uint64_t sendErrors = 0;
  uint64_t reports = 0;
  uint64_t malformed = 0;
};

const char *MotionName(Motion m) {
  return m == Motion::Idle ? "idle" : m == Motion::Walk ? "walk" : "dance";
}

void PrintReport(double elapsed, const Counters &counters, const HostReport *report) {
  if (report == nullptr) {
    std::printf("[%5.1f s] no host pose report yet (%llu datagrams sent)\n", elapsed,
                static_cast<unsigned long long>(counters.datagramsSent));
    return;
  }
  std::printf("[%5.1f s] headset %s (%.3f, %.3f, %.3f); %zu controller(s)", elapsed,
              report->headsetValid ? "valid" : "invalid", static_cast<double>(report->headsetPosition[0]),
              static_cast<double>(report->headsetPosition[1]), static_cast<double>(report->headsetPosition[2]),
              report->controllers.size());
  for (const ControllerPose &c : report->controllers) {
    std::printf("  %s (%.3f, %.3f, %.3f)", RoleName(c.role), static_cast<double>(c.position[0]),
                static_cast<double>(c.position[1]), static_cast<double>(c.position[2]));
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char **argv) {
  SimOptions o;
  if (auto code = ParseSimOptions(argc, argv, o)) return *code;

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);

  // One socket for both directions: the driver answers to the address its POSES came from.
  SimSocket udp;
  if (const char *failed = udp.Open()) {
    std::fprintf(stderr, "vantrels-sim: %s: %s\n", failed, udp.LastError().c_str());
    return 1;
  }

  TruthRecorder truth;
  if (!o.recordPath.empty() && !truth.Open(o.recordPath)) {
    std::fprintf(stderr, "vantrels-sim: cannot write %s: %s\n", o.recordPath.c_str(), std::strerror(errno));
    return 1;
  }

  CaptureConfig config;
  config.points = o.points;
  config.headRelative = o.headRelative;
  config.runSeconds = o.seconds;
  config.dropoutPoint = o.dropoutPoint;
  config.dropoutSeconds = o.dropoutSeconds;

  std::printf("vantrels-sim: %zu body points, %s motion, version %u, %.0f Hz for %.1f s to 127.0.0.1:%u\n",
              o.points.size(), MotionName(o.motion), static_cast<unsigned>(o.version), o.rateHz, o.seconds,
              static_cast<unsigned>(o.port));
  std::fflush(stdout);

  std::mt19937_64 rng(o.seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::priority_queue<Pending, std::vector<Pending>, std::greater<>> pending;
  Counters counters;
  HostReport report;
  HostReport lastReport;
  bool haveReport = false;
  bool warnedSend = false;
  // The last headset the driver reported as valid: a report without one leaves the body where it is.
  bool haveHeadset = false;
  Vec3 headsetPosition;
  Quat headsetRotation;

  PosesSettings settings;
  settings.version = o.version;
  settings.smoothingMs = o.smoothingMs;
  settings.prediction = o.prediction;
  settings.adaptiveSmoothing = o.adaptive;

  auto sendNow = [&](const std::vector<uint8_t> &bytes) {
    if (udp.SendTo(o.port, bytes.data(), bytes.size())) return true;
    ++counters.sendErrors;
    if (!warnedSend) {
      std::fprintf(stderr, "vantrels-sim: sending failed: %s\n", udp.LastError().c_str());
      warnedSend = true;
    }
    return false;
  };
  auto receiveReports = [&]() {
    uint8_t buffer[2048];
    for (;;) {
      const std::ptrdiff_t n = udp.Receive(buffer, sizeof buffer);
      if (n < 0) break;  // EAGAIN: nothing more now; ECONNREFUSED and the like: nobody listens yet
      if (DecodeHostReport(buffer, static_cast<size_t>(n), report)) {
        ++counters.reports;
        std::swap(lastReport, report);
        haveReport = true;
        if (lastReport.headsetValid) {
          const float *p = lastReport.headsetPosition;
          const float *q = lastReport.headsetRotation;
          headsetPosition = {p[0], p[1], p[2]};
          headsetRotation = {q[3], q[0], q[1], q[2]};
          haveHeadset = true;
        }
      } else {
        ++counters.malformed;
      }
    }
  };
  auto sleepUntil = [&udp](int64_t wake) { udp.Wait(std::max<int64_t>(0, wake - NowNs())); };

  // Where the person stands is known only once the driver has told where the headset is. Make
  // ourselves known with a POSES message without records (once every 100 ms), and start the
  // clock, the motion and the ground truth only when a valid headset has been reported: the body
  // is then under the headset from its first capture and never has to move there.
  int64_t firstHeadsetNs = -1;  // from here the body glides under the headset, over one second
  if (o.followHeadset && o.waitSeconds > 0.0) {
    const int64_t waitStart = NowNs();
    const int64_t waitEnd = waitStart + static_cast<int64_t>(o.waitSeconds * 1e9);
    int64_t nextHello = waitStart;
    uint64_t hellos = 0;
    while (!gStop && !haveHeadset && NowNs() < waitEnd) {
      if (NowNs() >= nextHello) {
        settings.serverTimeUs = static_cast<uint32_t>(static_cast<uint64_t>(NowNs() / 1000));
        if (sendNow(EncodePoses(settings, {}))) ++hellos;
        nextHello += 100'000'000;
      }
      receiveReports();
      if (!haveHeadset) sleepUntil(std::min(nextHello, waitEnd));
    }
    const double waited = static_cast<double>(NowNs() - waitStart) * 1e-9;
    if (haveHeadset) {
      std::printf("vantrels-sim: headset reported at (%.3f, %.3f, %.3f) after %.3f s; the body starts under it\n",
                  headsetPosition.x, headsetPosition.y, headsetPosition.z, waited);
    } else if (!gStop) {
      std::printf(
          "vantrels-sim: no valid headset reported within %.1f s (%llu datagrams without records sent); the body "
          "starts where its motion puts it and glides under the headset once one is reported\n",
          waited, static_cast<unsigned long long>(hellos));
    }
    std::fflush(stdout);
    // Reports of the wait are not the run's.
    counters.reports = 0;
    counters.malformed = 0;
  }

  const int64_t periodNs = std::max<int64_t>(1, static_cast<int64_t>(1e9 / o.rateHz));
  const int64_t latencyNs = static_cast<int64_t>(o.latencyMs * 1e6);
  const int64_t start = NowNs();
  const int64_t end = start + static_cast<int64_t>(o.seconds * 1e9);
  int64_t nextCapture = start;
  int64_t nextPrint = start + 1'000'000'000;
  int64_t lastSendNs = 0;
  uint64_t sequence = 0;
  if (haveHeadset) firstHeadsetNs = start - 1'000'000'000;  // placed in full from the first capture
  constexpr int64_t kGraceNs = 100'000'000;
  int64_t graceEnd = 0;

  while (!gStop) {
    int64_t now = NowNs();

    if (nextCapture < end && now >= nextCapture) {
      const double t = static_cast<double>(now - start) * 1e-9;
      BodyPose body = SampleBody(o.motion, t);
      if (o.followHeadset && haveHeadset) {
        if (firstHeadsetNs < 0) firstHeadsetNs = now;
        PlaceUnderHeadset(body, headsetPosition, headsetRotation,
                          GlideWeight(static_cast<double>(now - firstHeadsetNs) * 1e-9));
      }
      const std::vector<PointRecord> records = BuildRecords(config, body, t);
      settings.serverTimeUs = static_cast<uint32_t>(static_cast<uint64_t>(now / 1000));
      for (size_t first = 0; first < records.size(); first += kMaxRecordsPerDatagram) {
        const std::span<const PointRecord> chunk =
            std::span(records).subspan(first, std::min(kMaxRecordsPerDatagram, records.size() - first));
        const bool drop = o.loss > 0.0 && unit(rng) < o.loss;
        for (const PointRecord &r : chunk) truth.Write(now, r, !drop);
        if (drop) {
          ++counters.dropped;
          continue;
        }
        int64_t sendNs = now + latencyNs + static_cast<int64_t>(o.jitterMs * 1e6 * unit(rng));
        if (o.keepOrder) sendNs = std::max(sendNs, lastSendNs);
        lastSendNs = sendNs;
        pending.push({sendNs, sequence++, EncodePoses(settings, chunk)});
      }
      // Stay on the original schedule; after a stall, skip the captures that were missed.
      nextCapture += periodNs;
      if (nextCapture < now) nextCapture = now + periodNs - (now - nextCapture) % periodNs;
    }

    now = NowNs();
    while (!pending.empty() && pending.top().sendNs <= now) {
      const Pending &d = pending.top();
      if (sendNow(d.bytes)) {
        ++counters.datagramsSent;
        counters.recordsSent += d.bytes[6];
      }
      pending.pop();
    }

    receiveReports();

    if (o.verbose && now >= nextPrint) {
      PrintReport(static_cast<double>(now - start) * 1e-9, counters, haveReport ? &lastReport : nullptr);
      std::fflush(stdout);
      nextPrint += 1'000'000'000;
    }

    // Everything is out: listen a little longer for the reports to the last datagrams.
    if (nextCapture >= end && pending.empty()) {
      if (graceEnd == 0) graceEnd = now + kGraceNs;
      if (now >= graceEnd) break;
    }

    // Sleep until the next capture or send is due, waking early for a report.
    int64_t wake = nextCapture < end ? nextCapture : graceEnd > 0 ? graceEnd : INT64_MAX;
    if (!pending.empty()) wake = std::min(wake, pending.top().sendNs);
    if (o.verbose) wake = std::min(wake, nextPrint);
    sleepUntil(wake);
  }

  const bool recorded = truth.Close();
  if (gStop) std::printf("vantrels-sim: interrupted, %zu datagram(s) left unsent\n", pending.size());
  std::printf(
      "vantrels-sim: sent %llu datagrams (%llu records), dropped %llu by --loss; received %llu host pose reports "
      "(%llu malformed)\n",
      static_cast<unsigned long long>(counters.datagramsSent), static_cast<unsigned long long>(counters.recordsSent),
      static_cast<unsigned long long>(counters.dropped), static_cast<unsigned long long>(counters.reports),
      static_cast<unsigned long long>(counters.malformed));
  if (counters.sendErrors > 0) {
    std::printf("vantrels-sim: %llu datagrams could not be sent\n",
                static_cast<unsigned long long>(counters.sendErrors));
  }
  if (!recorded) {
    std::fprintf(stderr, "vantrels-sim: writing %s failed\n", o.recordPath.c_str());
    return 1;
  }
  return 0;
}
