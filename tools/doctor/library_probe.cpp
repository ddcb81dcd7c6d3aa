#include "library_probe.h"

#include <cstdio>
#include <sstream>

namespace vantrels::doctor {

void ReportProbeStep(const std::string &step) {
  std::string line = step;
  for (char &c : line) c = (c == '\n' || c == '\r') ? ' ' : c;
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

void CallFactory(FactoryFunction factory) {
  if (factory == nullptr) {
    ReportProbeStep("nofactory");
    return;
  }
  ReportProbeStep("calling");
  int error = 0;
  void *provider = factory(kFactoryInterface, &error);
  ReportProbeStep(provider != nullptr ? "provider" : "noprovider " + std::to_string(error));
}

ProbeResult InterpretProbe(const std::string &output, bool timedOut, const std::string &howEnded,
                           std::chrono::milliseconds timeout) {
  // The last step the child reported. Other lines can follow it: a debugger that the system starts
  // for a crash may write to the same output.
  std::string last;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // written in text mode on Windows
    if (line == "loading" || line == "loaded" || line == "calling" || line == "provider" || line == "nofactory" ||
        line.starts_with("noprovider ") || line.starts_with("loadfailed ")) {
      last = line;
    }
  }
  auto rest = [&](const std::string &word) { return last.substr(word.size() + 1); };

  ProbeResult result;
  using Outcome = ProbeResult::Outcome;
  if (last == "provider") {
    result.outcome = Outcome::Provider;
  } else if (last.starts_with("noprovider ")) {
    result.outcome = Outcome::NoProvider;
    result.detail = "error code " + rest("noprovider");
  } else if (last == "nofactory") {
    result.outcome = Outcome::NoFactory;
  } else if (last.starts_with("loadfailed ")) {
    result.outcome = Outcome::LoadFailed;
    result.detail = rest("loadfailed");
  } else {
    result.stage = last == "loading"   ? "while loading (in its start-up code)"
                   : last == "loaded"  ? "after loading"
                   : last == "calling" ? "in HmdDriverFactory"
                                       : "before it was loaded";
    result.outcome = timedOut ? Outcome::TimedOut : Outcome::Crashed;
    result.detail = timedOut ? std::to_string(timeout.count() / 1000) + " s" : howEnded;
  }
  return result;
}

}  // namespace vantrels::doctor
