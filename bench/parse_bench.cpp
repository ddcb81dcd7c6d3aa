// Decoding cost of one POSES datagram: ParsePoses for every protocol version with 1, 19 and 46 records
// (46 is the most a 2048-byte receive buffer holds in versions 2 to 4), into a reused record list.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "link/poses_message.h"
#include "poses_encoder.h"

namespace {

using vantrels::bench::EncodedRecord;

std::vector<uint8_t> Datagram(uint8_t version, size_t records) {
  std::vector<EncodedRecord> list(records);
  for (size_t i = 0; i < records; ++i) {
    const float a = 0.1f * static_cast<float>(i);
    list[i].index = static_cast<uint8_t>(i % 20);
    list[i].flags = i % 4 == 0 ? 0x05 : 0x01;
    list[i].position[0] = std::sin(a);
    list[i].position[1] = 1.0f + 0.01f * a;
    list[i].position[2] = std::cos(a);
    list[i].rotation[1] = std::sin(a / 2.0f);
    list[i].rotation[3] = std::cos(a / 2.0f);
    list[i].headOffset[1] = -0.1f;
  }
  return vantrels::bench::EncodePoses(version, list, 20, 123456u);
}

void ParsePosesBench(benchmark::State &state) {
  const auto version = static_cast<uint8_t>(state.range(0));
  const auto records = static_cast<size_t>(state.range(1));
  const std::vector<uint8_t> bytes = Datagram(version, records);
  std::vector<vantrels::PointSample> points;
  points.reserve(64);  // as the provider does once
  for (auto _ : state) {
    vantrels::PosesHeader header;
    const bool accepted = vantrels::ParsePoses(bytes.data(), bytes.size(), points, &header);
    benchmark::DoNotOptimize(accepted);
    benchmark::DoNotOptimize(points.data());
    benchmark::DoNotOptimize(header);
    benchmark::ClobberMemory();
  }
  if (points.size() != records) state.SkipWithError("datagram not accepted");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(records));
}

}  // namespace

BENCHMARK(ParsePosesBench)
    ->Name("ParsePoses")
    ->ArgNames({"version", "records"})
    ->ArgsProduct({{1, 2, 3, 4}, {1, 19, 46}});

BENCHMARK_MAIN();
