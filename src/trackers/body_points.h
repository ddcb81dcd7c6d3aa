#pragma once

#include <cstddef>
#include <cstdint>

namespace vantrels {

// What one body point index means to the host: its tracker's serial number, the SteamVR
// tracker role it asks for (null: none) and a human-readable name.
struct BodyPoint {
  const char *serial;
  const char *role;
  const char *displayName;
};

inline constexpr size_t kBodyPointCount = 20;

// Indexed by body point index. Row 0 is the head: it never becomes a tracker, but keeps the
// rows in step with the indices.
extern const BodyPoint kBodyPoints[kBodyPointCount];

// The row of an index, or null for an index the table does not have.
inline const BodyPoint *FindBodyPoint(size_t index) {
  return index < kBodyPointCount ? &kBodyPoints[index] : nullptr;
}

}  // namespace vantrels
