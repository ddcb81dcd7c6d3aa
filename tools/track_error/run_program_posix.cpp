#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "run_program.h"

extern char **environ;

namespace vantrels::sim {

std::vector<std::string> Utf8Arguments(int argc, char **argv) {
  return {argv, argv + argc};
}

std::string Utf8Environment(const char *name) {
  const char *value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::filesystem::path NewTemporaryFile() {
  std::error_code error;
  std::string name = (std::filesystem::temp_directory_path(error) / "vantrels-track-error-XXXXXX.csv").string();
  if (error) return {};
  const int fd = mkstemps(name.data(), 4);
  if (fd < 0) return {};
  close(fd);
  return name;
}

std::vector<std::vector<std::string>> PythonCommands() {
  return {{"python3"}};
}

const char *PythonAdvice() {
  return "install Python 3 with matplotlib (Debian and Ubuntu: python3-matplotlib), or name an interpreter in "
         "VANTRELS_PYTHON";
}

int RunProgram(const std::vector<std::string> &arguments) {
  if (arguments.empty()) return -1;
  std::vector<char *> argv;
  for (const std::string &a : arguments) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace vantrels::sim
