#pragma once

// The conversation between the doctor and the child process that loads the driver library: the
// child says each step on its standard output before it takes it, so that a crash tells where it
// happened.

#include <chrono>
#include <string>

#include "platform.h"

namespace vantrels::doctor {

// The hidden option that makes the doctor the child.
inline constexpr const char *kProbeOption = "--probe-library";
inline constexpr const char *kFactoryInterface = "IServerTrackedDeviceProvider_004";

// Child: one step, as one line, written at once.
void ReportProbeStep(const std::string &step);

// Child: the steps after the library is open, the same on every system. `factory` is the
// library's HmdDriverFactory, or null when it has none.
using FactoryFunction = void *(*)(const char *, int *);
void CallFactory(FactoryFunction factory);

// Parent: the result from the child's output and how it ended (`howEnded`: "signal 11,
// Segmentation fault", "exit code 3", ...).
ProbeResult InterpretProbe(const std::string &output, bool timedOut, const std::string &howEnded,
                           std::chrono::milliseconds timeout);

}  // namespace vantrels::doctor
