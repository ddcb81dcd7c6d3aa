// What drawing the plot needs from the platform: this program's folder (the plot script lies
// beside it) and starting another program.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vantrels::sim {

// The folder holding the running executable; empty when it cannot be told.
std::filesystem::path ExecutableFolder(const char *argv0);

// Runs arguments[0] (looked up on the PATH) with the rest as its arguments and waits for it.
// Returns its exit status, or -1 when it could not be started or did not exit normally.
int RunProgram(const std::vector<std::string> &arguments);

}  // namespace vantrels::sim
