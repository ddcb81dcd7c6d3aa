#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrels::doctor {

// One symbol version a library needs from another, such as GLIBC_2.34 from libc.so.6.
struct VersionNeed {
  std::string file;
  std::string version;
};

// The version needs (section .gnu.version_r) of a 64-bit little-endian ELF file. Empty for
// anything else or a damaged file; never reads outside `bytes`.
std::vector<VersionNeed> ReadVersionNeeds(std::string_view bytes);

// "2.34" for the highest GLIBC_x.y among the needs; "" when there is none.
std::string HighestGlibc(const std::vector<VersionNeed> &needs);

// Compares dotted version numbers ("2.2.5" < "2.17" < "2.34"): negative, zero or positive.
int CompareVersions(const std::string &a, const std::string &b);

}  // namespace vantrels::doctor
