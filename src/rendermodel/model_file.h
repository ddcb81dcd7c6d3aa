#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

namespace vantrels {

// A model file opened for reading, as bytes. Only regular files (or links to them) are opened: a FIFO,
// a device, a pipe or a folder named by a model file is refused at once, so a check never waits on
// one. The file is closed when the object goes away. One implementation per platform.
class ModelFile {
 public:
  ModelFile() = default;
  ~ModelFile();
  ModelFile(const ModelFile &) = delete;
  ModelFile &operator=(const ModelFile &) = delete;

  // False when the path is not a regular file or can't be opened for reading.
  bool Open(const std::filesystem::path &path) noexcept;
  bool IsOpen() const { return handle_ != kNoFile; }

  // Reads up to `size` bytes; returns the count read (0 at the end of the file), or -1 on a read error.
  std::ptrdiff_t Read(char *data, std::size_t size) noexcept;

 private:
  // The platform's handle: a file descriptor, or a Windows HANDLE. -1 is no file on both.
  static constexpr std::intptr_t kNoFile = -1;
  std::intptr_t handle_ = kNoFile;
};

// Splits a model file into lines at '\n' with a fixed amount of memory. Lines are yielded as
// std::getline would yield them: "" has no line, "\n" has one empty line, and a last line without a
// '\n' still counts. A line longer than kMaxLineBytes counts as a read error. After the end of the
// file or a read error, Next returns false for good, and Failed tells the two apart: a file that
// could not be read to its end has not been checked.
class LineReader {
 public:
  static constexpr std::size_t kMaxLineBytes = 64 * 1024;

  explicit LineReader(ModelFile &file);
  ~LineReader();
  LineReader(const LineReader &) = delete;
  LineReader &operator=(const LineReader &) = delete;

  // The next line without its '\n'; valid until the next call.
  bool Next(std::string_view &line) noexcept;
  // A read error or an over-long line ended the reading before the end of the file.
  bool Failed() const { return failed_; }

 private:
  static constexpr std::size_t kChunkBytes = 64 * 1024;
  static constexpr std::size_t kBufferBytes = kMaxLineBytes + 1 + kChunkBytes;

  ModelFile &file_;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;  // first unconsumed byte
  std::size_t end_ = 0;    // one past the last byte read
  bool finished_ = false;
  bool failed_ = false;
};

}  // namespace vantrels
