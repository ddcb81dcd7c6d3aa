#include "truth_recorder.h"

namespace vantrels::sim {

TruthRecorder::~TruthRecorder() {
  Close();
}

bool TruthRecorder::Open(const std::string &path) {
  Close();
  failed_ = false;
  file_ = std::fopen(path.c_str(), "w");
  return file_ != nullptr;
}

void TruthRecorder::Write(int64_t captureNs, const PointRecord &r, bool sent) {
  if (file_ == nullptr) return;
  // %.9g reproduces every float exactly.
  const int n = std::fprintf(file_,
                             "{\"t_ns\":%lld,\"index\":%u,\"x\":%.9g,\"y\":%.9g,\"z\":%.9g,"
                             "\"qw\":%.9g,\"qx\":%.9g,\"qy\":%.9g,\"qz\":%.9g,\"valid\":%s,\"sent\":%s}\n",
                             static_cast<long long>(captureNs), static_cast<unsigned>(r.index),
                             static_cast<double>(r.position[0]), static_cast<double>(r.position[1]),
                             static_cast<double>(r.position[2]), static_cast<double>(r.rotation[3]),
                             static_cast<double>(r.rotation[0]), static_cast<double>(r.rotation[1]),
                             static_cast<double>(r.rotation[2]), r.valid ? "true" : "false", sent ? "true" : "false");
  if (n < 0) failed_ = true;
}

bool TruthRecorder::Close() {
  if (file_ == nullptr) return !failed_;
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}

}  // namespace vantrels::sim
