#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "test_files.h"

namespace vantrels {
namespace {

struct ToolRun {
  int exitCode = -1;
  std::string output;
};

// Runs the tool with the given (already shell-quoted) arguments and collects its standard output.
ToolRun RunTool(const std::string &arguments) {
  const std::string command =
      std::string("'") + VANTRELS_TOOLS_DIR + "/vantrels-check-model' " + arguments + " 2>/dev/null";
  ToolRun run;
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char chunk[256];
  for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.output.append(chunk, n);
  const int status = pclose(pipe);
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  return run;
}

TEST(CheckModelTool, ReportsOkOrTheReason) {
  testing::TempDir dir;
  const std::string root = "'" + dir.path().string() + "'";
  ToolRun run = RunTool(root);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.output, "no se puede abrir vantrel.obj\n");

  testing::WriteValidModel(dir.path());
  run = RunTool(root);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.output, "ok\n");
  EXPECT_EQ(RunTool("-- " + root).exitCode, 0);

  run = RunTool("''");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.output, "no se encontró la carpeta del driver\n");
}

TEST(CheckModelTool, Arguments) {
  EXPECT_EQ(RunTool("").exitCode, 2);
  EXPECT_EQ(RunTool("a b").exitCode, 2);
  EXPECT_EQ(RunTool("--bogus").exitCode, 2);
  const ToolRun help = RunTool("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.output.find("usage: vantrels-check-model DRIVER_FOLDER"), std::string::npos);
}

}  // namespace
}  // namespace vantrels
