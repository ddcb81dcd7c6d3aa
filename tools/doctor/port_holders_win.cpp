// Windows: who holds a UDP port, from the system's UDP tables with their owners' process ids.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// The socket headers before windows.h, the IP helper after them.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <iphlpapi.h>

#include <algorithm>
#include <set>

#include "files.h"
#include "platform.h"

namespace vantrels::doctor {

namespace fs = std::filesystem;

namespace {

// The table of one address family, or false when the system does not give it.
bool UdpTable(ULONG family, std::vector<unsigned char> &buffer) {
  ULONG size = 0;
  DWORD status = ERROR_INSUFFICIENT_BUFFER;
  for (int attempt = 0; attempt < 5 && status == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
    buffer.resize(std::max<size_t>(size, 1) + 4096);  // room for sockets opened meanwhile
    size = static_cast<ULONG>(buffer.size());
    status = GetExtendedUdpTable(buffer.data(), &size, FALSE, family, UDP_TABLE_OWNER_PID, 0);
  }
  return status == NO_ERROR;
}

PortHolder Describe(DWORD pid) {
  PortHolder holder;
  holder.pid = pid;
  holder.name = pid == 4 ? "System" : "an unknown program";
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process == nullptr) return holder;
  std::wstring image(32768, L'\0');
  DWORD length = static_cast<DWORD>(image.size());
  if (QueryFullProcessImageNameW(process, 0, image.data(), &length)) {
    image.resize(length);
    holder.path = Utf8(fs::path(image));
    holder.name = Utf8(fs::path(image).filename());
  }
  CloseHandle(process);
  return holder;
}

}  // namespace

PortHolders FindPortHolders(uint16_t port) {
  PortHolders result;
  std::set<DWORD> pids;
  std::vector<unsigned char> buffer;
  if (!UdpTable(AF_INET, buffer)) {
    result.error = "the system's table of UDP sockets can't be read";
    return result;
  }
  const auto *v4 = reinterpret_cast<const MIB_UDPTABLE_OWNER_PID *>(buffer.data());
  for (DWORD i = 0; i < v4->dwNumEntries; ++i) {
    const MIB_UDPROW_OWNER_PID &row = v4->table[i];
    const bool blocks = row.dwLocalAddr == htonl(INADDR_LOOPBACK) || row.dwLocalAddr == htonl(INADDR_ANY);
    if (ntohs(static_cast<u_short>(row.dwLocalPort)) == port && blocks) pids.insert(row.dwOwningPid);
  }
  // A socket on :: that takes IPv4 too holds the port as well.
  if (UdpTable(AF_INET6, buffer)) {
    const auto *v6 = reinterpret_cast<const MIB_UDP6TABLE_OWNER_PID *>(buffer.data());
    for (DWORD i = 0; i < v6->dwNumEntries; ++i) {
      const MIB_UDP6ROW_OWNER_PID &row = v6->table[i];
      const bool any =
          std::all_of(std::begin(row.ucLocalAddr), std::end(row.ucLocalAddr), [](UCHAR b) { return b == 0; });
      if (ntohs(static_cast<u_short>(row.dwLocalPort)) == port && any) pids.insert(row.dwOwningPid);
    }
  }
  for (DWORD pid : pids) {
    // No process of this system has the number 0: the owner is not known (under Wine, a program
    // outside it).
    if (pid == 0) {
      ++result.unidentified;
    } else {
      result.holders.push_back(Describe(pid));
    }
  }
  return result;
}

}  // namespace vantrels::doctor
