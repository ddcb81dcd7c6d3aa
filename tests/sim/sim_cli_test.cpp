#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "sim_options.h"

namespace vantrels::sim {
namespace {

std::string Sim() {
  return std::string(VANTRELS_TOOLS_DIR) + "/vantrels-sim";
}

int ExitCode(const std::string &arguments) {
  const int status = std::system((Sim() + " " + arguments + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SimCommandLine, BadArgumentsExitWithTwo) {
  for (const char *bad : {"--version 0",
                          "--version 5",
                          "--rate 0",
                          "--rate -5",
                          "--rate abc",
                          "--seconds 0",
                          "--loss 1.5",
                          "--loss -0.1",
                          "--points 20",
                          "--points 1,1",
                          "--points 3-",
                          "--points ''",
                          "--prediction maybe",
                          "--adaptive 1",
                          "--smoothing-ms 256",
                          "--motion run",
                          "--port 0",
                          "--port 70000",
                          "--head-relative 21",
                          "--points 1,2 --head-relative 3",
                          "--version 2 --smoothing-ms 10",
                          "--version 3 --prediction off",
                          "--dropout 20",
                          "--latency-ms -1",
                          "--no-such-option",
                          "--follow-headset yes"}) {
    EXPECT_EQ(ExitCode(bad), 2) << bad;
  }
  EXPECT_EQ(ExitCode("--help"), 0);

  std::vector<uint8_t> out;
  std::string error;
  ASSERT_TRUE(ParsePointList(" 0, 3-5 ,19", true, out, error)) << error;
  EXPECT_EQ(out, (std::vector<uint8_t>{0, 3, 4, 5, 19}));
  ASSERT_TRUE(ParsePointList("all", true, out, error));
  EXPECT_EQ(out.size(), 20u);
  EXPECT_FALSE(ParsePointList("all", false, out, error)) << "head-relative points are listed one by one";
  for (const char *bad : {"5-3", "1,,2", "-1"}) EXPECT_FALSE(ParsePointList(bad, true, out, error)) << bad;
}

// The simulator against a stand-in driver: a socket that reads the POSES datagrams and answers
// each with a host pose report, as the driver does.
TEST(SimRun, SendsDecodableDatagramsAndCountsReports) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
  socklen_t len = sizeof addr;
  ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len), 0);
  const int port = ntohs(addr.sin_port);

  const auto truthPath = std::filesystem::temp_directory_path() / ("vantrels_sim_truth_" + std::to_string(getpid()));
  const std::string command = Sim() + " --port " + std::to_string(port) +
                              " --seconds 0.5 --rate 40 --version 4 --points 0,1,16 --head-relative 1 "
                              "--smoothing-ms 25 --adaptive on --record " +
                              truthPath.string();
  FILE *p = popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);

  int datagrams = 0, garbageSent = 0;
  std::set<uint8_t> indices;
  uint32_t firstStamp = 0, lastStamp = 0;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  while (std::chrono::steady_clock::now() < until) {
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, 50) <= 0) continue;
    uint8_t b[2048];
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    const ssize_t n = recvfrom(fd, b, sizeof b, 0, reinterpret_cast<sockaddr *>(&from), &fromLen);
    uint8_t report[40] = {'V', 'N', 'T', 'R', 4, 2, 0, 0, 1};
    if (n == 16 && b[6] == 0) {  // before its first capture the simulator asks where the headset is
      sendto(fd, report, sizeof report, 0, reinterpret_cast<sockaddr *>(&from), fromLen);
      continue;
    }
    ASSERT_EQ(n, 16 + 3 * 44);
    EXPECT_EQ(std::memcmp(b, "VNTR\x04\x01\x03\x19", 8), 0);  // version 4, 3 records, 25 ms smoothing
    EXPECT_EQ(b[12], 0x03);
    uint32_t stamp = 0;
    std::memcpy(&stamp, b + 8, 4);
    if (datagrams == 0) firstStamp = stamp;
    lastStamp = stamp;
    for (int r = 0; r < 3; ++r) indices.insert(b[16 + 44 * r]);
    EXPECT_EQ(b[16 + 1] & 0x01, 0x01) << "head record valid";
    EXPECT_EQ(b[16 + 44 + 1] & 0x04, 0x04) << "chest sent head-relative";
    float headOffsetZ = 0.0f;
    std::memcpy(&headOffsetZ, b + 16 + 40, 4);
    EXPECT_FLOAT_EQ(headOffsetZ, 0.09f);
    ++datagrams;

    // Answer with a report; every tenth time also with something that is not one.
    sendto(fd, report, sizeof report, 0, reinterpret_cast<sockaddr *>(&from), fromLen);
    if (datagrams % 10 == 0) {
      sendto(fd, report, 20, 0, reinterpret_cast<sockaddr *>(&from), fromLen);
      ++garbageSent;
    }
  }
  close(fd);
  std::string output;
  char line[512];
  while (std::fgets(line, sizeof line, p) != nullptr) output += line;
  const int status = pclose(p);
  EXPECT_EQ(WEXITSTATUS(status), 0) << output;

  EXPECT_GE(datagrams, 15);  // 0.5 s at 40 Hz, with some slack for a loaded machine
  EXPECT_LE(datagrams, 21);
  EXPECT_EQ(indices, (std::set<uint8_t>{0, 1, 16}));
  const double spanMs = static_cast<double>(lastStamp - firstStamp) / 1000.0;
  EXPECT_GT(spanMs, 300.0);
  EXPECT_LT(spanMs, 600.0);
  EXPECT_NE(
      output.find("sent " + std::to_string(datagrams) + " datagrams (" + std::to_string(3 * datagrams) + " records)"),
      std::string::npos)
      << output;
  // The reports to the last datagrams may still be on their way when the simulator ends.
  const size_t at = output.find("received ");
  ASSERT_NE(at, std::string::npos) << output;
  unsigned reports = 0, malformed = 0;
  ASSERT_EQ(std::sscanf(output.c_str() + at, "received %u host pose reports (%u malformed)", &reports, &malformed), 2);
  EXPECT_LE(reports, static_cast<unsigned>(datagrams));
  EXPECT_GE(reports + 2, static_cast<unsigned>(datagrams));
  EXPECT_LE(malformed, static_cast<unsigned>(garbageSent));
  EXPECT_GE(malformed + 1, static_cast<unsigned>(garbageSent));

  // One truth line per record of every capture.
  std::ifstream truth(truthPath);
  int lines = 0;
  for (std::string l; std::getline(truth, l);) ++lines;
  EXPECT_EQ(lines, 3 * datagrams);
  std::filesystem::remove(truthPath);
}

}  // namespace
}  // namespace vantrels::sim
