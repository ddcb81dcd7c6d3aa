// Linux: who holds a UDP port, from /proc/net/udp(6) (the socket's inode) and /proc/*/fd (the
// process that has that socket open).
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

#include "files.h"
#include "platform.h"

namespace vantrels::doctor {

namespace fs = std::filesystem;

namespace {

// Local addresses that keep the driver from binding 127.0.0.1, as the kernel prints them (the
// raw 32-bit words in hex, so 127.0.0.1 reads 0100007F on little-endian machines): 127.0.0.1,
// 0.0.0.0, and for IPv6 ::, ::ffff:127.0.0.1 and ::ffff:0.0.0.0.
bool Blocks(const std::string &address) {
  static const std::set<std::string> kBlocking = {"0100007F",
                                                  "7F000001",
                                                  "00000000",
                                                  "00000000000000000000000000000000",
                                                  "0000000000000000FFFF00000100007F",
                                                  "0000000000000000FFFF000000000000",
                                                  "000000000000000000000000FFFF0000",
                                                  "0000000000000000FFFF00007F000001"};
  return kBlocking.count(address) > 0;
}

// The inodes of the sockets bound to `port` in one of the kernel's tables. Lines:
//   sl  local_address rem_address   st tx_queue:rx_queue tr:tm->when retrnsmt   uid  timeout inode
bool SocketInodes(const char *table, uint16_t port, std::set<std::string> &inodes) {
  std::ifstream in(table);
  if (!in) return false;
  std::string line;
  std::getline(in, line);  // the header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode)) {
      continue;
    }
    const size_t colon = local.find(':');
    if (colon == std::string::npos) continue;
    unsigned long localPort = 0;
    try {
      localPort = std::stoul(local.substr(colon + 1), nullptr, 16);
    } catch (const std::exception &) {
      continue;
    }
    if (localPort == port && Blocks(local.substr(0, colon)) && inode != "0") inodes.insert(inode);
  }
  return true;
}

std::string FirstLine(const fs::path &file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

PortHolders FindPortHolders(uint16_t port) {
  PortHolders result;
  std::set<std::string> inodes;
  if (!SocketInodes("/proc/net/udp", port, inodes)) {
    result.error = "/proc/net/udp can't be read";
    return result;
  }
  SocketInodes("/proc/net/udp6", port, inodes);  // absent when IPv6 is off
  std::set<std::string> found;
  std::error_code ec;
  for (fs::directory_iterator process("/proc", ec), end; !ec && process != end; process.increment(ec)) {
    const std::string pid = process->path().filename().string();
    if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
    bool holds = false;
    std::error_code fdError;  // another user's process: its descriptors are not readable
    for (fs::directory_iterator fd(process->path() / "fd", fdError), fdEnd; !fdError && fd != fdEnd;
         fd.increment(fdError)) {
      std::error_code linkError;
      const std::string target = fs::read_symlink(fd->path(), linkError).string();
      if (linkError || !target.starts_with("socket:[")) continue;
      const std::string inode = target.substr(8, target.size() - 9);
      if (inodes.count(inode) == 0) continue;
      found.insert(inode);
      holds = true;
    }
    if (!holds) continue;
    PortHolder holder;
    holder.pid = static_cast<uint32_t>(std::stoul(pid));
    holder.name = FirstLine(process->path() / "comm");
    std::error_code exeError;
    holder.path = Utf8(fs::read_symlink(process->path() / "exe", exeError));
    result.holders.push_back(holder);
  }
  result.unidentified = inodes.size() - found.size();
  return result;
}

}  // namespace vantrels::doctor
