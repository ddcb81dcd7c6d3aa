#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "run_program.h"

extern char **environ;

namespace vantrels::sim {

std::filesystem::path ExecutableFolder(const char *argv0) {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) return self.parent_path();
  if (argv0 == nullptr || std::string(argv0).find('/') == std::string::npos) return {};
  return std::filesystem::absolute(argv0, error).parent_path();
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
