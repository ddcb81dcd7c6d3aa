#pragma once

// The socket handle type of the platform. POSIX: a file descriptor.
#if defined(_WIN32)
#include <cstdint>
namespace vantrels {
using SocketHandle = uintptr_t;
inline constexpr SocketHandle kInvalidSocket = ~static_cast<SocketHandle>(0);
}  // namespace vantrels
#else
namespace vantrels {
using SocketHandle = int;
inline constexpr SocketHandle kInvalidSocket = -1;
}  // namespace vantrels
#endif
