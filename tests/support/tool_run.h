#pragma once

// The built command-line tools run as a user runs them, through the shell: what they print and the
// status they exit with. Arguments are quoted with ' as for a POSIX shell (made " for cmd.exe).

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

namespace vantrels::testing {

struct ToolRun {
  int exitCode = -1;
  std::string output;  // standard output, with standard error unless it was left out

  bool Has(const std::string &text) const { return output.find(text) != std::string::npos; }
};

#if defined(_WIN32)
// cmd.exe's quoting: double quotes, the .exe name, and the whole command in quotes once more; wide,
// so that no letter is lost to the ANSI code page on its way.
inline FILE *StartTool(const std::string &tool, std::string arguments, bool errors = true) {
  std::replace(arguments.begin(), arguments.end(), '\'', '"');
  const std::string command =
      "\"\"" VANTRELS_TOOLS_DIR "/" + tool + ".exe\" " + arguments + (errors ? " 2>&1\"" : " 2>NUL\"");
  return _wpopen(std::filesystem::path(std::u8string(command.begin(), command.end())).wstring().c_str(), L"r");
}
inline int CloseTool(FILE *pipe) {
  return _pclose(pipe);
}
#else
inline FILE *StartTool(const std::string &tool, const std::string &arguments, bool errors = true) {
  const std::string redirect = errors ? " 2>&1" : " 2>/dev/null";
  return popen(("'" VANTRELS_TOOLS_DIR "/" + tool + "' " + arguments + redirect).c_str(), "r");
}
inline int CloseTool(FILE *pipe) {
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

inline ToolRun FinishTool(FILE *pipe) {
  ToolRun run;
  char chunk[4096];
  for (size_t n; pipe != nullptr && (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.output.append(chunk, n);
  if (pipe != nullptr) run.exitCode = CloseTool(pipe);
  return run;
}

inline ToolRun RunTool(const std::string &tool, const std::string &arguments, bool errors = true) {
  return FinishTool(StartTool(tool, arguments, errors));
}

}  // namespace vantrels::testing
