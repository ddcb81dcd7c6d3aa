// Cost of the whole host frame, measured against the socket work no driver can avoid.
//
// The real driver module is loaded from the built driver folder the way the VR server loads it, started
// with an allocation-free MinimalHost, and fed by a local UDP socket that plays the tracking server: POSES
// version 4 datagrams of 20 records (the head and 19 body points, a quarter of them head-relative), 60 Hz
// server stamps, prediction and adaptive smoothing on. Once all 19 trackers are live, each iteration sends
// 0, 1 or 4 datagrams (not timed) and times one RunFrame, which receives them, runs the pose pipeline,
// submits 19 poses to the host and sends the host pose report to the server socket.
//
// In the same iteration, alternately before and after the frame, the floor is timed: the same socket work
// done directly on another socket pair with the same datagrams, i.e. recvfrom until the queue is empty
// (n + 1 calls for n datagrams) and one sendto of a 40-byte report (no controllers in this host) to the
// sender. The counters give both averages and the ratio frame / floor, and how many heap allocations a
// frame made through any allocation function (none is the aim: the frame loop reuses every buffer; the
// test suite holds it to none); a summary follows the table.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/allocation_counter.h"
#include "host/loaded_driver.h"
#include "host/minimal_host.h"
#include "poses_encoder.h"
#include "udp_socket.h"

namespace {

using Clock = std::chrono::steady_clock;
using vantrels::bench::UdpSocket;

constexpr uint8_t kVersion = 4;
constexpr size_t kRecords = 20;  // the head and 19 trackers
constexpr uint32_t kStampStepUs = 16'667;
constexpr size_t kReportSize = 40;  // header only: the MinimalHost has no controllers
constexpr auto kFeedInterval = std::chrono::milliseconds(200);

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// The loaded driver and the server's socket, shared by every benchmark of the run.
class Rig {
 public:
  static Rig *Get(std::string &error) {
    static std::unique_ptr<Rig> rig;
    static std::string startError;
    if (!rig && startError.empty()) {
      auto candidate = std::unique_ptr<Rig>(new Rig);
      if (candidate->Start(startError)) rig = std::move(candidate);
    }
    error = startError;
    return rig.get();
  }

  ~Rig() {
    if (provider != nullptr) provider->Cleanup();
  }

  // Moves the points along and sends one datagram to the driver.
  void SendOne() {
    stamp += kStampStepUs;
    const double t = static_cast<double>(stamp) * 1e-6;
    vantrels::bench::PutU32(bytes.data() + vantrels::bench::kServerTimeOffset, stamp);
    for (size_t i = 1; i < kRecords; ++i) {
      const double phase = 6.283185307179586 * t / 3.0 + 0.3 * static_cast<double>(i);
      const float position[3] = {static_cast<float>(0.3 * std::sin(phase)),
                                 static_cast<float>(1.0 + 0.05 * static_cast<double>(i % 5) + 0.1 * std::cos(phase)),
                                 static_cast<float>(0.2 * std::sin(2.0 * phase))};
      const double half = 0.4 * std::sin(phase);
      const float rotation[4] = {0.0f, static_cast<float>(std::sin(half)), 0.0f, static_cast<float>(std::cos(half))};
      vantrels::bench::PutRecordPose(bytes, kVersion, i, position, rotation);
    }
    server.SendTo(driverPort, bytes.data(), bytes.size());
    lastFeed = Clock::now();
  }

  // Keeps the trackers from timing out while frames run without datagrams.
  void FeedIfQuiet() {
    if (Clock::now() - lastFeed < kFeedInterval) return;
    SendOne();
    provider->RunFrame();
    server.Drain();
  }

  std::vector<uint8_t> bytes;
  std::unique_ptr<vantrels::host::LoadedDriver> driver;
  vr::IServerTrackedDeviceProvider *provider = nullptr;
  vantrels::host::MinimalHost minimal;
  UdpSocket server;
  uint16_t driverPort = 0;
  uint32_t stamp = 1'000'000;
  Clock::time_point lastFeed;

 private:
  Rig() = default;

  bool Start(std::string &error) {
    std::vector<vantrels::bench::EncodedRecord> records(kRecords);
    for (size_t i = 0; i < kRecords; ++i) {
      records[i].index = static_cast<uint8_t>(i);
      records[i].flags = i % 4 == 0 ? 0x05 : 0x01;  // some head-relative points
      records[i].battery = 70;
      records[i].headOffset[1] = -0.1f;
    }
    records[0].position[1] = 1.7f;
    bytes = vantrels::bench::EncodePoses(kVersion, records, 20, stamp, 0x03);

    driver = vantrels::host::LoadedDriver::Load(VANTRELS_DRIVER_DIR, error);
    if (!driver) return false;
    provider = driver->Provider(error);
    if (provider == nullptr) return false;
    driverPort = vantrels::bench::FreePort();
    minimal.port = driverPort;
    if (provider->Init(&minimal) != vr::VRInitError_None) {
      provider = nullptr;
      error = "Init failed on port " + std::to_string(driverPort);
      return false;
    }
    for (int frame = 0; frame < 100 && minimal.devicesAdded < kRecords - 1; ++frame) {
      SendOne();
      provider->RunFrame();
    }
    server.Drain();
    if (minimal.devicesAdded != kRecords - 1) {
      error = "the driver announced " + std::to_string(minimal.devicesAdded) + " trackers, not 19";
      return false;
    }
    return true;
  }
};

// recvfrom until empty and one report back to the sender, as the driver's endpoint does it.
struct Floor {
  UdpSocket receiver;
  UdpSocket sender;
  sockaddr_in peer = UdpSocket::Loopback(0);

  // Returns the number of datagrams taken.
  int Run() {
    uint8_t buffer[2048];
    int taken = 0;
    for (;;) {
      sockaddr_in source;
      std::memset(&source, 0, sizeof(source));
      socklen_t length = sizeof(source);
      const ssize_t n = ::recvfrom(receiver.fd(), buffer, sizeof(buffer), MSG_TRUNC | MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr *>(&source), &length);
      if (n < 0 || n > static_cast<ssize_t>(sizeof(buffer))) break;
      peer = source;
      ++taken;
    }
    uint8_t report[kReportSize] = {};
    (void)::sendto(receiver.fd(), report, sizeof(report), MSG_DONTWAIT | MSG_NOSIGNAL,
                   reinterpret_cast<const sockaddr *>(&peer), sizeof(peer));
    return taken;
  }
};

struct Result {
  int64_t iterations = 0;
  double frameSeconds = 0.0;
  double floorSeconds = 0.0;
};
std::map<int, std::vector<Result>> results;

void Frame(benchmark::State &state) {
  std::string error;
  Rig *rig = Rig::Get(error);
  if (rig == nullptr) {
    state.SkipWithError(error.c_str());
    return;
  }
  const int datagrams = static_cast<int>(state.range(0));
  Floor floor;
  floor.peer = UdpSocket::Loopback(floor.sender.Port());

  double frameSeconds = 0.0;
  double floorSeconds = 0.0;
  int64_t missed = 0;
  uint64_t frameAllocations = 0;
  bool floorFirst = false;
  const uint64_t updatesBefore = rig->minimal.poseUpdates;
  for (auto _ : state) {
    if (datagrams == 0) rig->FeedIfQuiet();
    double floorTime = 0.0;
    auto runFloor = [&] {
      for (int k = 0; k < datagrams; ++k)
        floor.sender.SendTo(floor.receiver.Port(), rig->bytes.data(), rig->bytes.size());
      const Clock::time_point t0 = Clock::now();
      const int taken = floor.Run();
      floorTime = Seconds(Clock::now() - t0);
      if (taken != datagrams) ++missed;
      floor.sender.Drain();
    };
    if (floorFirst) runFloor();
    for (int k = 0; k < datagrams; ++k) rig->SendOne();
    const uint64_t allocationsBefore = vantrels::host::AllocationsCounted();
    vantrels::host::CountAllocations(true);
    const Clock::time_point t0 = Clock::now();
    rig->provider->RunFrame();
    const double frameTime = Seconds(Clock::now() - t0);
    vantrels::host::CountAllocations(false);
    frameAllocations += vantrels::host::AllocationsCounted() - allocationsBefore;
    rig->server.Drain();
    if (!floorFirst) runFloor();
    floorFirst = !floorFirst;

    state.SetIterationTime(frameTime);
    frameSeconds += frameTime;
    floorSeconds += floorTime;
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["frame_us"] = frameSeconds / n * 1e6;
  state.counters["floor_us"] = floorSeconds / n * 1e6;
  state.counters["over_floor_us"] = (frameSeconds - floorSeconds) / n * 1e6;
  state.counters["ratio"] = floorSeconds > 0.0 ? frameSeconds / floorSeconds : 0.0;
  state.counters["poses_per_frame"] = static_cast<double>(rig->minimal.poseUpdates - updatesBefore) / n;
  state.counters["allocs_per_frame"] = static_cast<double>(frameAllocations) / n;
  if (missed > 0) state.SkipWithError("the floor's socket did not hold every datagram sent");
  results[datagrams].push_back({state.iterations(), frameSeconds, floorSeconds});
}

// Median over the measured runs (those with the most iterations) of each case.
void PrintSummary() {
  std::printf("\nframe / floor (median over repetitions):\n");
  for (const auto &[datagrams, runs] : results) {
    int64_t most = 0;
    for (const Result &r : runs) most = std::max(most, r.iterations);
    std::vector<Result> measured;
    for (const Result &r : runs)
      if (r.iterations == most && most > 0) measured.push_back(r);
    if (measured.empty()) continue;
    auto ratio = [](const Result &r) { return r.floorSeconds > 0.0 ? r.frameSeconds / r.floorSeconds : 0.0; };
    std::sort(measured.begin(), measured.end(), [&](const Result &a, const Result &b) { return ratio(a) < ratio(b); });
    const Result &m = measured[measured.size() / 2];
    const double iters = static_cast<double>(m.iterations);
    std::printf("  %d datagram%s: frame %.2f us, floor %.2f us, frame - floor %.2f us, ratio %.2f\n", datagrams,
                datagrams == 1 ? " " : "s", m.frameSeconds / iters * 1e6, m.floorSeconds / iters * 1e6,
                (m.frameSeconds - m.floorSeconds) / iters * 1e6, ratio(m));
  }
}

}  // namespace

BENCHMARK(Frame)->ArgName("datagrams")->Arg(0)->Arg(1)->Arg(4)->UseManualTime()->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  PrintSummary();
  return 0;
}
