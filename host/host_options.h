// How the substitute host behaves towards the driver it runs: which announcements it refuses,
// when it activates devices, what the simulated headset does, how many controllers exist.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrels::host {

struct HostOptions {
  enum class Refuse { None, All, FirstN };
  Refuse refuse = Refuse::None;
  uint32_t refuseFirst = 0;  // with FirstN: how many announcements are refused before the host accepts

  enum class Activation { Sync, Deferred, Never };
  Activation activation = Activation::Sync;

  enum class Headset { Still, Moving, Off };
  Headset headset = Headset::Still;

  uint32_t controllers = 0;  // simulated controllers at device indices 1..N, at most kMaxControllers

  std::vector<std::string> missingInterfaces;  // versions GetGenericInterface answers with null
  std::string recordPath;                      // JSON Lines file of every call; empty = none
  bool echoLog = false;                        // print each driver log line to stdout at once
};

// Index 0 is the headset, so at most 63 controllers fit into the 64 device indices.
inline constexpr uint32_t kMaxControllers = 63;

// Parsers for the command line spellings; false with a message on a bad value.
bool ParseRefusePolicy(const std::string &text, HostOptions &options, std::string &error);    // none|all|first:N
bool ParseActivationMode(const std::string &text, HostOptions &options, std::string &error);  // sync|deferred|never
bool ParseHeadsetMode(const std::string &text, HostOptions &options, std::string &error);     // still|moving|off

}  // namespace vantrels::host
