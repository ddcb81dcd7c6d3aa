#include "rendermodel/model_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace vantrels {

ModelFile::~ModelFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool ModelFile::Open(const std::filesystem::path &path) noexcept {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
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
  fd_ = fd;
  return true;
}

std::ptrdiff_t ModelFile::Read(char *data, std::size_t size) noexcept {
  if (fd_ < 0) return -1;
  for (;;) {
    const ssize_t got = ::read(fd_, data, size);
    if (got >= 0) return got;
    if (errno != EINTR) return -1;
  }
}

LineReader::LineReader(ModelFile &file) : file_(file), buffer_(new (std::nothrow) char[kBufferBytes]) {
  if (!buffer_) finished_ = failed_ = true;
}

LineReader::~LineReader() = default;

bool LineReader::Next(std::string_view &line) noexcept {
  if (finished_) return false;
  char *const data = buffer_.get();
  std::size_t scanned = begin_;  // bytes in [begin_, scanned) hold no '\n'
  for (;;) {
    if (scanned < end_) {
      const void *nl = std::memchr(data + scanned, '\n', end_ - scanned);
      if (nl != nullptr) {
        const std::size_t stop = static_cast<std::size_t>(static_cast<const char *>(nl) - data);
        if (stop - begin_ > kMaxLineBytes) break;
        line = std::string_view(data + begin_, stop - begin_);
        begin_ = stop + 1;
        return true;
      }
      scanned = end_;
    }
    if (end_ - begin_ > kMaxLineBytes) break;  // too long, whatever follows
    // Keep the unfinished line at the front and fill the rest of the buffer.
    if (begin_ > 0) {
      std::memmove(data, data + begin_, end_ - begin_);
      end_ -= begin_;
      scanned -= begin_;
      begin_ = 0;
    }
    const std::ptrdiff_t got = file_.Read(data + end_, kBufferBytes - end_);
    if (got < 0) break;
    if (got == 0) {
      finished_ = true;
      if (end_ == begin_) return false;
      line = std::string_view(data + begin_, end_ - begin_);
      begin_ = end_;
      return true;
    }
    end_ += static_cast<std::size_t>(got);
  }
  finished_ = failed_ = true;
  return false;
}

}  // namespace vantrels
