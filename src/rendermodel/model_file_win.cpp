#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>

#include "rendermodel/model_file.h"

namespace vantrels {

namespace {

HANDLE AsHandle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

ModelFile::~ModelFile() {
  if (IsOpen()) CloseHandle(AsHandle(handle_));
}

bool ModelFile::Open(const std::filesystem::path &path) noexcept {
  if (IsOpen()) {
    CloseHandle(AsHandle(handle_));
    handle_ = kNoFile;
  }
  // Look before opening: a folder or a device is never opened at all. Then open the file itself
  // (wide name, so any letters work; Win32 reads have no text mode, so CRLF and 0x1A stay as they
  // are) and check again what was really opened: reserved names such as CON or COM1 open a device
  // whatever folder they are in, and a pipe's read would wait.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    return false;
  }
  // Not inherited (no security attributes); others may read, write or delete the file meanwhile.
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(file);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return true;
}

std::ptrdiff_t ModelFile::Read(char *data, std::size_t size) noexcept {
  if (!IsOpen()) return -1;
  const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
  DWORD got = 0;
  if (!ReadFile(AsHandle(handle_), data, wanted, &got, nullptr)) return -1;
  return static_cast<std::ptrdiff_t>(got);
}

}  // namespace vantrels
