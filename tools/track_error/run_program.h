// What drawing the plot needs from the platform: the arguments and environment as UTF-8, a private
// temporary file, how to start Python, and starting another program.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vantrels::sim {

// The program's arguments as UTF-8. Windows hands main() its arguments in the ANSI code page,
// which loses every letter outside it; they are taken from the wide command line there instead.
std::vector<std::string> Utf8Arguments(int argc, char **argv);

// An environment variable's value as UTF-8; empty when it is not set.
std::string Utf8Environment(const char *name);

// A new empty file in the system's temporary folder, made for the caller alone (no file of that
// name existed); empty when none could be made.
std::filesystem::path NewTemporaryFile();

// The commands that may start Python 3, in the order to try them, and what to install when none
// can be started.
std::vector<std::vector<std::string>> PythonCommands();
const char *PythonAdvice();

// Runs arguments[0] (looked up on the PATH) with the rest as its arguments, all UTF-8, and waits
// for it. Returns its exit status, or -1 when it could not be started (on Windows also when the
// command that was found only says that it is not installed) or did not exit normally.
int RunProgram(const std::vector<std::string> &arguments);

}  // namespace vantrels::sim
