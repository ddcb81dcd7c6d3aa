// The line reader, the same on every platform; the files are opened and read in model_file_posix.cpp
// and model_file_win.cpp.
#include "rendermodel/model_file.h"

#include <cstring>
#include <new>

namespace vantrels {

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
