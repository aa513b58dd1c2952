#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "file_system.h"

namespace kestrel {

// A failed file operation: the file's name as the user knows it and the
// system's reason (errno), or a reason of our own when `error` is 0.
class IoError : public std::runtime_error {
 public:
  IoError(const std::string& file, int error, const std::string& reason = {});
  const std::string& File() const { return file_; }
  int Error() const { return error_; }

 private:
  std::string file_;
  int error_;
};

// Size of the blocks files are read and written in.
constexpr std::size_t kBlockSize = 1 << 20;

// Longest line a run accepts; a longer one ends the run with an error rather
// than exhausting memory.
constexpr std::uint64_t kMaxLineLength = std::uint64_t{1} << 30;

// The error for a line longer than kMaxLineLength in the file `name`.
IoError LineTooLong(const std::string& name);

// Called while a reader or writer waits: after each block read, every 100 ms
// while a pipe has no data yet, and when a system call was interrupted by a
// signal. It may throw to end the wait, or discard the rest of the input.
using WaitHook = std::function<void()>;

// Reads a file descriptor in large blocks. The descriptor is not owned.
class BlockReader {
 public:
  // With `waitForWriter`, nothing is read before data arrives: a named pipe
  // opened without blocking reads as ended until a writer has come.
  BlockReader(FileSystem& fs, int fd, std::string name, WaitHook onWait = {}, bool waitForWriter = false);

  // The bytes not yet consumed, refilling the buffer when all were consumed.
  // Empty at the end of the input.
  std::string_view Available();
  void Consume(std::size_t count) { pos_ += count; }

  // Splits off the next line at LF and drops the CR before the LF, if any.
  // The view stays valid until the next call. False at the end of the input.
  bool NextLine(std::string_view& line) {
    if (pos_ < len_ && !discarded_) {
      const char* from = buffer_.get() + pos_;
      if (const void* lf = std::memchr(from, '\n', len_ - pos_)) {
        const std::size_t size = static_cast<const char*>(lf) - from;
        pos_ += size + 1;
        line = {from, size && from[size - 1] == '\r' ? size - 1 : size};
        return true;
      }
    }
    return NextLineAcrossBlocks(line);
  }

  // Treats everything not yet read as consumed: the input is at its end.
  void DiscardRest() { discarded_ = true; }
  const std::string& Name() const { return name_; }
  bool Discarded() const { return discarded_; }

 private:
  bool NextLineAcrossBlocks(std::string_view& line);
  void Refill();

  FileSystem& fs_;
  int fd_;
  std::string name_;
  WaitHook onWait_;
  bool waitForData_;
  std::unique_ptr<char[]> buffer_;
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  bool eof_ = false;
  bool discarded_ = false;
  std::string longLine_;  // a line that does not fit in one block
};

// Writes to a file descriptor in large blocks. The descriptor is not owned.
class BlockWriter {
 public:
  BlockWriter(FileSystem& fs, int fd, std::string name, WaitHook onInterrupted = {});

  void Append(std::string_view bytes) {
    if (bytes.size() <= kBlockSize - len_) {
      std::memcpy(buffer_.get() + len_, bytes.data(), bytes.size());
      len_ += bytes.size();
    } else {
      AppendLarge(bytes);
    }
  }
  // A line end, CR LF.
  void AppendLineEnd() {
    char* to = Reserve(2);
    to[0] = '\r';
    to[1] = '\n';
    len_ += 2;
  }
  // Room for `size` bytes (at most kBlockSize) in the buffer, to be filled
  // by the caller and then added with Commit.
  char* Reserve(std::size_t size) {
    if (size > kBlockSize - len_) Flush();
    return buffer_.get() + len_;
  }
  void Commit(std::size_t size) { len_ += size; }
  void Flush();

 private:
  void AppendLarge(std::string_view bytes);
  void WriteAll(const char* data, std::size_t size);

  FileSystem& fs_;
  int fd_;
  std::string name_;
  WaitHook onInterrupted_;
  std::unique_ptr<char[]> buffer_;
  std::size_t len_ = 0;
};

}  // namespace kestrel
