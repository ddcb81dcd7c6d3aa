// Windows: the driver library loaded with LoadLibraryW in a child process started with
// CreateProcessW.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>

#include "files.h"
#include "library_probe.h"

namespace vantrels::doctor {

namespace fs = std::filesystem;

namespace {

std::string SystemMessage(DWORD code) {
  wchar_t text[512];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                sizeof text / sizeof text[0], nullptr);
  while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r' || text[length - 1] == L' ')) --length;
  return "error " + std::to_string(code) + (length > 0 ? ": " + Utf8(fs::path(std::wstring(text, length))) : "");
}

// How a process that did not answer ended: an exception code (0xC0000005, ...) or an exit code.
std::string HowEnded(DWORD code) {
  if (code < 0xC0000000u) return "exit code " + std::to_string(code);
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
  const char *name = code == 0xC0000005u   ? " (access violation)"
                     : code == 0xC00000FDu ? " (stack overflow)"
                     : code == 0xC000001Du ? " (illegal instruction)"
                     : code == 0xC0000094u ? " (integer division by zero)"
                     : code == 0xC0000409u ? " (stack buffer overrun)"
                                           : "";
  return std::string("exception ") + hex + name;
}

}  // namespace

ProbeResult ProbeLibrary(const fs::path &library, std::chrono::milliseconds timeout) {
  std::wstring self(32768, L'\0');
  self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (self.empty() || !CreatePipe(&readEnd, &writeEnd, &inherit, 1 << 16)) {
    return {ProbeResult::Outcome::NotStarted, SystemMessage(GetLastError()), ""};
  }
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul;
  startup.hStdOutput = writeEnd;
  startup.hStdError = nul;
  fs::path native = library;
  native.make_preferred();
  std::wstring command = L"\"" + self + L"\" " + fs::path(kProbeOption).wstring() + L" \"" + native.wstring() + L"\"";
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(self.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                      nullptr, &startup, &process);
  const DWORD startError = GetLastError();
  CloseHandle(writeEnd);
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  if (!started) {
    CloseHandle(readEnd);
    return {ProbeResult::Outcome::NotStarted, SystemMessage(startError), ""};
  }
  const bool timedOut = WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeout.count())) == WAIT_TIMEOUT;
  if (timedOut) {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  // Only what is there: a process the library started could still hold the pipe open.
  std::string output;
  DWORD available = 0;
  while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    char chunk[4096];
    DWORD n = 0;
    if (!ReadFile(readEnd, chunk, sizeof chunk, &n, nullptr) || n == 0) break;
    output.append(chunk, n);
  }
  CloseHandle(readEnd);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return InterpretProbe(output, timedOut, HowEnded(code), timeout);
}

int RunLibraryProbe(const fs::path &library) {
  // A crash or a missing DLL must end this process quietly, without a dialog box.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  ReportProbeStep("loading");
  fs::path native = library;
  native.make_preferred();
  HMODULE module = LoadLibraryW(native.c_str());
  if (module == nullptr) {
    ReportProbeStep("loadfailed " + SystemMessage(GetLastError()));
  } else {
    ReportProbeStep("loaded");
    CallFactory(
        reinterpret_cast<FactoryFunction>(reinterpret_cast<void *>(GetProcAddress(module, "HmdDriverFactory"))));
  }
  // Straight out: the library stays loaded, and nothing of it runs after the answer.
  TerminateProcess(GetCurrentProcess(), 0);
  return 0;
}

}  // namespace vantrels::doctor
