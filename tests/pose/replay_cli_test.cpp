// Runs the built vantrels-replay tool on small recordings.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace {

struct ToolRun {
  int exitCode = -1;
  std::vector<std::string> lines;
  std::string errors;
};

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

ToolRun Replay(const std::string &input, const std::string &args = "") {
  const std::string base = ::testing::TempDir() + "vantrels_replay_" + std::to_string(getpid()) + "_" +
                           ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::ofstream(base + ".in", std::ios::binary) << input;
  const std::string command = std::string("\"") + VANTRELS_TOOLS_DIR + "/vantrels-replay\" " + args + " < \"" + base +
                              ".in\" > \"" + base + ".out\" 2> \"" + base + ".err\"";
  const int status = std::system(command.c_str());
  ToolRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::stringstream out(ReadFile(base + ".out"));
  for (std::string line; std::getline(out, line);) run.lines.push_back(line);
  run.errors = ReadFile(base + ".err");
  return run;
}

const std::string kSettings = R"("settings":{"prediction":true,"smoothingSeconds":0,"adaptiveSmoothing":false})";

std::string Sample(const std::string &position, double time) {
  return R"({"op":"sample","position":)" + position + R"(,"rotation":[1,0,0,0],"headRelative":false,)" +
         R"("headAnchor":null,"sampleTime":)" + std::to_string(time) + R"(,"now":)" + std::to_string(time) + "," +
         kSettings + "}\n";
}

TEST(ReplayCli, PrintsStateInFixedOrderAndFormat) {
  const ToolRun run =
      Replay(Sample("[0.1,-1e-300,3]", 1) + R"({"op":"step","headNow":null,"headStep":[0,0,0],"now":1,"dt":0.011,)" +
             kSettings + "}\n\n   \n{\"op\":\"reset\"}\n{\"op\":\"new\"}\n");
  EXPECT_EQ(0, run.exitCode) << run.errors;
  ASSERT_EQ(4u, run.lines.size());
  EXPECT_EQ(
      R"({"outputValid":false,"smoothedPosition":[0,0,0],"smoothedRotation":[1,0,0,0],"positionCorrection":[0,0,0],)"
      R"("rotationCorrection":[1,0,0,0],"count":1,"headRelative":false,"linearSpeed":0,"angularSpeed":0})",
      run.lines[0]);
  // 17 significant digits, trailing zeros dropped.
  const std::string position = R"("smoothedPosition":[0.10000000000000001,-1e-300,3],)";
  EXPECT_NE(std::string::npos, run.lines[1].find(std::string(R"("outputValid":true,)") + position));
  EXPECT_NE(std::string::npos, run.lines[2].find(std::string(R"("outputValid":false,)") + position));
  EXPECT_NE(std::string::npos, run.lines[2].find(R"("count":0,)"));
  EXPECT_NE(std::string::npos, run.lines[3].find(R"("smoothedPosition":[0,0,0],)"));
}

TEST(ReplayCli, SkipsMalformedLinesAndNamesThem) {
  const std::string good = Sample("[0,0,0]", 0);
  const ToolRun run = Replay(good +                    // 1
                             "{\"op\":\"sample\"\n" +  // 2 bad JSON
                             "{\"op\":\"jump\"}\n" +   // 3 unknown op
                             "[1,2]\n" +               // 4 not an object
                             R"({"op":"step","headStep":[0,0,0],"now":0,"dt":0,)" + kSettings + "}\n" +  // 5 missing
                             Sample("[0,0]", 0) +        // 6 wrong length
                             Sample("[0,\"0\",0]", 0) +  // 7 mistyped
                             "\n" +                      // 8 blank
                             R"({"op":7})"
                             "\n" +  // 9 op not a string
                             good);  // 10
  EXPECT_EQ(1, run.exitCode);
  EXPECT_EQ(2u, run.lines.size());
  for (const char *line : {"line 2:", "line 3:", "line 4:", "line 5:", "line 6:", "line 7:", "line 9:"}) {
    EXPECT_NE(std::string::npos, run.errors.find(line)) << line << "\n" << run.errors;
  }
  EXPECT_EQ(std::string::npos, run.errors.find("line 8:"));
  EXPECT_NE(std::string::npos, run.errors.find("headNow"));
}

TEST(ReplayCli, NonFiniteResultsStayValidJson) {
  const ToolRun run =
      Replay(Sample("[1,1,1e999]", 0) + Sample("[1e308,1e308,1e308]", 0) + Sample("[1e308,1e308,1e308]", 1e-3) +
             R"({"op":"step","headNow":[1e308,0,0],"headStep":[0,0,0],"now":1,"dt":0.1,)" + kSettings + "}\n" +
             std::string("\x01\xff{{[[", 7) + "\n" + std::string(100000, '[') + "\n");
  EXPECT_EQ(1, run.exitCode);
  ASSERT_EQ(3u, run.lines.size()) << run.errors;
  for (const std::string &line : run.lines) {
    const nlohmann::json state = nlohmann::json::parse(line, nullptr, false);
    ASSERT_FALSE(state.is_discarded()) << line;
    EXPECT_EQ(9u, state.size());
  }
  EXPECT_NE(std::string::npos, run.lines[2].find("null"));
  // A number beyond the double range is a malformed line, like the garbage after the step.
  for (const char *line : {"line 1:", "line 5:", "line 6:"}) EXPECT_NE(std::string::npos, run.errors.find(line));
}

TEST(ReplayCli, HelpAndBadArguments) {
  const ToolRun help = Replay("", "--help");
  EXPECT_EQ(0, help.exitCode);
  ASSERT_FALSE(help.lines.empty());
  EXPECT_EQ(0u, help.lines[0].find("usage: vantrels-replay"));
  EXPECT_EQ(2, Replay("", "--frobnicate").exitCode);
}

}  // namespace
