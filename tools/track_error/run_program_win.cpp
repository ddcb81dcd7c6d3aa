#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <shellapi.h>  // after windows.h

#include <cstdlib>

#include "run_program.h"

namespace vantrels::sim {

namespace {

std::wstring Wide(const std::string &utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string Utf8(const std::wstring &wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), n, nullptr, nullptr);
  return utf8;
}

// One argument as the C runtime of the started program splits its command line: in quotes, with
// the backslashes before a quote (and before the closing quote) doubled.
void AppendQuoted(std::wstring &line, const std::wstring &argument) {
  line += L'"';
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(2 * backslashes, L'\\');
  line += L'"';
}

// The exit status with which cmd.exe, and the stand-in python.exe a stock Windows has in its
// WindowsApps folder, say that the program is not installed.
constexpr DWORD kNotInstalled = 9009;

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char **argv) {
  int count = 0;
  wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

std::string Utf8Environment(const char *name) {
  const wchar_t *value = _wgetenv(Wide(name).c_str());
  return value != nullptr ? Utf8(value) : "";
}

std::filesystem::path NewTemporaryFile() {
  wchar_t folder[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"vte", 0, name) == 0) return {};
  return std::filesystem::path(name);
}

std::vector<std::vector<std::string>> PythonCommands() {
  return {{"py", "-3"}, {"python"}};
}

const char *PythonAdvice() {
  return "install Python 3 from python.org (it brings the py launcher) and then matplotlib (py -3 -m pip install "
         "matplotlib), or name an interpreter in VANTRELS_PYTHON";
}

int RunProgram(const std::vector<std::string> &arguments) {
  if (arguments.empty()) return -1;
  std::wstring line;
  for (const std::string &a : arguments) {
    if (!line.empty()) line += L' ';
    AppendQuoted(line, Wide(a));
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  // The program is looked up on the PATH (and with .exe appended) by CreateProcessW itself.
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return -1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 0;
  const bool known = GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return known && status != kNotInstalled ? static_cast<int>(status) : -1;
}

}  // namespace vantrels::sim
