#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "file_system.h"
#include "io_error.h"

namespace kestrel {

// Size of the blocks files are read and written in.
constexpr std::size_t kBlockSize = 1 << 20;

// Longest line a run accepts unless told otherwise; a longer one ends the
// run with an error rather than exhausting memory.
constexpr std::uint64_t kMaxLineLength = std::uint64_t{1} << 30;

// The error for a line of the log `name` longer than `limit` bytes.
IoError LineTooLong(const std::string& name, std::uint64_t limit);

// Called while a reader or writer waits: after each block read, every 100 ms
// while a pipe has no data yet, and when a system call was interrupted by a
// signal. It may throw to end the wait, or discard the rest of the input.
using WaitHook = std::function<void()>;

// One line of the input, without its line end, in the reader's own memory:
// the caller may rewrite it in place until the next line is asked for.
struct Line {
  char* data = nullptr;
  std::size_t size = 0;
};

// Reads a file in large blocks and splits it into lines. The file is not
// owned.
class BlockReader {
 public:
  struct Options {
    // Named pipe opened without waiting for its writer: nothing is read
    // before data arrives, since it reads as ended until a writer has come.
    bool waitForWriter = false;
    // Every CR is dropped from a line, not only the one before its LF.
    bool dropEveryCr = false;
    // A line longer than this (without its CRs) ends the run with an error
    // naming `logName`.
    std::uint64_t maxLineLength = kMaxLineLength;
    std::string logName;
  };

  BlockReader(FileSystem& fs, FileHandle file, std::string name, WaitHook onWait, Options options);

  // The bytes not yet consumed, refilling the buffer when all were consumed.
  // Empty at the end of the input.
  std::string_view Available();
  void Consume(std::size_t count) { pos_ += count; }

  // The next line, split off at LF, with its line-end CR (or every CR)
  // dropped. False at the end of the input, and after DiscardRest: a line
  // the discard cut short is never returned.
  bool NextLine(Line& line) {
    if (pos_ < len_ && !discarded_) {
      char* from = buffer_.get() + pos_;
      if (void* lf = std::memchr(from, '\n', len_ - pos_)) {
        const std::size_t size = static_cast<char*>(lf) - from;
        pos_ += size + 1;
        line = {from, DropCr(from, size)};
        if (line.size > options_.maxLineLength) throw LineTooLong(options_.logName, options_.maxLineLength);
        return true;
      }
    }
    return NextLineAcrossBlocks(line);
  }

  // Treats everything not yet read as consumed: the input is at its end.
  void DiscardRest() { discarded_ = true; }
  std::uint64_t BytesRead() const { return bytesRead_; }
  // Whether the last line returned ended at the end of the input, without LF.
  bool LastLineUnended() const { return unended_; }

 private:
  // The line's length once its CRs are dropped, moving bytes down in place.
  std::size_t DropCr(char* from, std::size_t size) const {
    if (!options_.dropEveryCr) return size && from[size - 1] == '\r' ? size - 1 : size;
    if (!blockHasCr_) return size;
    char* cr = static_cast<char*>(std::memchr(from, '\r', size));
    if (!cr) return size;
    char* to = cr;
    for (const char* p = cr; p < from + size; ++p)
      if (*p != '\r') *to++ = *p;
    return to - from;
  }
  bool NextLineAcrossBlocks(Line& line);
  void Refill();

  FileSystem& fs_;
  FileHandle file_;
  std::string name_;
  WaitHook onWait_;
  Options options_;
  bool waitForData_;
  std::unique_ptr<char[]> buffer_;
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  std::uint64_t bytesRead_ = 0;
  bool eof_ = false;
  bool discarded_ = false;
  bool unended_ = false;
  bool blockHasCr_ = true;  // whether the block in the buffer holds a CR at all
  // A line that does not fit in one block. Grown with realloc, which moves
  // large blocks without copying them, so a long line is held once.
  struct Free {
    void operator()(char* p) const { std::free(p); }
  };
  std::unique_ptr<char, Free> long_;
  std::size_t longSize_ = 0;
  std::size_t longCapacity_ = 0;
};

// Writes to a file in large blocks. The file is not owned.
class BlockWriter {
 public:
  // `onInterrupted` runs when a signal cut a write short; `onFull` every
  // 100 ms while a pipe has no room: either may throw to stop writing.
  BlockWriter(FileSystem& fs, FileHandle file, std::string name, WaitHook onInterrupted = {}, WaitHook onFull = {});

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
  FileHandle file_;
  std::string name_;
  WaitHook onInterrupted_;
  WaitHook onFull_;
  std::unique_ptr<char[]> buffer_;
  std::size_t len_ = 0;
};

}  // namespace kestrel
