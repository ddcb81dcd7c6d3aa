#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "rendermodel/model_file.h"

namespace vantrels {

ModelFile::~ModelFile() {
  if (IsOpen()) ::close(static_cast<int>(handle_));
}

bool ModelFile::Open(const std::filesystem::path &path) noexcept {
  if (IsOpen()) {
    ::close(static_cast<int>(handle_));
    handle_ = kNoFile;
  }
  // Look before opening, so that a device is never opened at all, then open without waiting (a FIFO
  // swapped in meanwhile would otherwise block the open) and check again what was really opened.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return false;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  handle_ = fd;
  return true;
}

std::ptrdiff_t ModelFile::Read(char *data, std::size_t size) noexcept {
  if (!IsOpen()) return -1;
  for (;;) {
    const ssize_t got = ::read(static_cast<int>(handle_), data, size);
    if (got >= 0) return got;
    if (errno != EINTR) return -1;
  }
}

}  // namespace vantrels
