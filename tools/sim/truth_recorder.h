#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "poses_encoder.h"

namespace vantrels::sim {

// Writes the poses the simulator produced as JSON Lines, one object per body point per capture:
//   {"t_ns":123,"index":1,"x":..,"y":..,"z":..,"qw":..,"qx":..,"qy":..,"qz":..,"valid":true,"sent":true}
// t_ns is the capture time on CLOCK_MONOTONIC, the clock the driver and the host stamp their
// calls with, so the evaluation can line both up. The values are the floats that went on the
// wire. "sent" is false when the datagram was dropped on purpose (--loss): the body still
// was where the line says, the driver just never heard of it.
class TruthRecorder {
 public:
  TruthRecorder() = default;
  TruthRecorder(const TruthRecorder &) = delete;
  TruthRecorder &operator=(const TruthRecorder &) = delete;
  ~TruthRecorder();

  bool Open(const std::string &path);
  bool IsOpen() const { return file_ != nullptr; }
  void Write(int64_t captureNs, const PointRecord &record, bool sent);
  // Flushes and closes; false when anything failed to reach the file.
  bool Close();

 private:
  std::FILE *file_ = nullptr;
  bool failed_ = false;
};

}  // namespace vantrels::sim
