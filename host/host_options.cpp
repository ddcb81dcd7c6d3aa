#include "host/host_options.h"

#include <charconv>

namespace vantrels::host {

bool ParseRefusePolicy(const std::string &text, HostOptions &options, std::string &error) {
  if (text == "none") {
    options.refuse = HostOptions::Refuse::None;
    options.refuseFirst = 0;
    return true;
  }
  if (text == "all") {
    options.refuse = HostOptions::Refuse::All;
    options.refuseFirst = 0;
    return true;
  }
  static constexpr std::string_view kFirst = "first:";
  if (text.starts_with(kFirst)) {
    const char *begin = text.data() + kFirst.size();
    const char *end = text.data() + text.size();
    uint32_t n = 0;
    auto [ptr, ec] = std::from_chars(begin, end, n);
    if (begin != end && ec == std::errc() && ptr == end) {
      options.refuse = HostOptions::Refuse::FirstN;
      options.refuseFirst = n;
      return true;
    }
  }
  error = "--refuse expects none, all or first:N (N a non-negative integer), got '" + text + "'";
  return false;
}

bool ParseActivationMode(const std::string &text, HostOptions &options, std::string &error) {
  if (text == "sync") {
    options.activation = HostOptions::Activation::Sync;
  } else if (text == "deferred") {
    options.activation = HostOptions::Activation::Deferred;
  } else if (text == "never") {
    options.activation = HostOptions::Activation::Never;
  } else {
    error = "--activate expects sync, deferred or never, got '" + text + "'";
    return false;
  }
  return true;
}

bool ParseHeadsetMode(const std::string &text, HostOptions &options, std::string &error) {
  if (text == "still") {
    options.headset = HostOptions::Headset::Still;
  } else if (text == "moving") {
    options.headset = HostOptions::Headset::Moving;
  } else if (text == "off") {
    options.headset = HostOptions::Headset::Off;
  } else {
    error = "--headset expects still, moving or off, got '" + text + "'";
    return false;
  }
  return true;
}

}  // namespace vantrels::host
