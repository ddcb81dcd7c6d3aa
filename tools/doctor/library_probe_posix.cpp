// Linux: the driver library loaded with dlopen in a child process started with posix_spawn.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "library_probe.h"

extern char **environ;

namespace vantrels::doctor {

namespace fs = std::filesystem;

ProbeResult ProbeLibrary(const fs::path &library, std::chrono::milliseconds timeout) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return {ProbeResult::Outcome::NotStarted, std::strerror(errno), ""};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string name = "vantrels-doctor", option = kProbeOption, file = library.string();
  char *argv[] = {name.data(), option.data(), file.data(), nullptr};
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    return {ProbeResult::Outcome::NotStarted, std::strerror(spawned), ""};
  }

  std::string output;
  bool timedOut = false;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{out[0], POLLIN, 0};
    const int ready = left.count() > 0 ? poll(&p, 1, static_cast<int>(left.count())) : 0;
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      timedOut = ready == 0;
      break;
    }
    char chunk[4096];
    const ssize_t n = read(out[0], chunk, sizeof chunk);
    if (n <= 0) break;  // the child has ended
    output.append(chunk, static_cast<size_t>(n));
  }
  close(out[0]);
  if (timedOut) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  std::string howEnded;
  if (WIFSIGNALED(status)) {
    const char *signalName = strsignal(WTERMSIG(status));
    howEnded = "signal " + std::to_string(WTERMSIG(status)) + (signalName ? std::string(", ") + signalName : "");
  } else {
    howEnded = "exit code " + std::to_string(WEXITSTATUS(status));
  }
  return InterpretProbe(output, timedOut, howEnded, timeout);
}

int RunLibraryProbe(const fs::path &library) {
  ReportProbeStep("loading");
  dlerror();
  void *handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char *why = dlerror();
    ReportProbeStep(std::string("loadfailed ") + (why != nullptr ? why : "the loader gave no reason"));
    std::_Exit(0);
  }
  ReportProbeStep("loaded");
  CallFactory(reinterpret_cast<FactoryFunction>(dlsym(handle, "HmdDriverFactory")));
  // Straight out: the library stays loaded, and nothing of it runs after the answer.
  std::_Exit(0);
}

}  // namespace vantrels::doctor
