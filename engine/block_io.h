#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "byte_marks.h"
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
// the caller may rewrite it in place until the next line is asked for; so
// are its marks, where it has them.
struct Line {
  char* data = nullptr;
  std::size_t size = 0;
  LineMarks marks;
};

// A thread that does one job at a time for its owner (the next block read,
// or the last one written) while the owner works on another. The stop
// signals are kept away from it, so that they reach the owner's thread and
// cut its waiting short.
class Worker {
 public:
  Worker();
  ~Worker();
  // Waits for the job before, then starts `job`; throws what that job threw.
  void Start(std::function<void()> job);
  // Waits until the job started last is done; throws what it threw, so that
  // its failure ends the run rather than the program.
  void Wait();

 private:
  void Loop();

  std::mutex mutex_;
  std::condition_variable ready_, done_;
  std::function<void()> job_;
  std::exception_ptr failure_;
  bool stop_ = false;
  std::thread thread_;
};

// Reads a file in large blocks and splits it into lines. The file is not
// owned.
class BlockReader {
 public:
  struct Options {
    // Named pipe opened without waiting for its writer: nothing is read
    // before data arrives, since it reads as ended until a writer has come.
    bool waitForWriter = false;
    // A pipe or a device, which may keep silent as long as it likes: every
    // read waits for data first in short steps, so that the caller can
    // answer its user, and see a stop, meanwhile.
    bool waitEachRead = false;
    // Every CR is dropped from a line, not only the one before its LF.
    bool dropEveryCr = false;
    // A line longer than this (without its CRs) ends the run with an error
    // naming `logName`.
    std::uint64_t maxLineLength = kMaxLineLength;
    std::string logName;
    // A regular file: the next block is read, on a thread of its own, while
    // the caller works through the one before.
    bool readAhead = false;
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
      const std::size_t lf = BlockMarks::Next(marks_.lf.data(), pos_, len_);
      if (lf < len_) {
        line = {buffer_.get() + pos_, lf - pos_, {marks_.comma.data(), marks_.v.data(), pos_}};
        pos_ = lf + 1;
        DropCr(line);
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
  // The line without its CRs (every one, or the one before its line end),
  // moved down in place; a line whose bytes moved loses its marks.
  void DropCr(Line& line) const {
    if (options_.dropEveryCr) {
      const std::size_t end = line.marks.first + line.size;
      const std::size_t cr = BlockMarks::Next(marks_.cr.data(), line.marks.first, end);
      if (cr + 1 >= end) {  // none, or the one before the LF
        line.size -= end - cr;
        return;
      }
      line.marks = {};
    }
    line.size = DropCr(line.data, line.size);
  }
  std::size_t DropCr(char* from, std::size_t size) const {
    if (!options_.dropEveryCr) return size && from[size - 1] == '\r' ? size - 1 : size;
    char* cr = static_cast<char*>(std::memchr(from, '\r', size));
    if (!cr) return size;
    char* to = cr;
    for (const char* p = cr; p < from + size; ++p)
      if (*p != '\r') *to++ = *p;
    return to - from;
  }
  bool NextLineAcrossBlocks(Line& line);
  void Refill();
  void ReadAhead();

  FileSystem& fs_;
  FileHandle file_;
  std::string name_;
  WaitHook onWait_;
  Options options_;
  bool waitForData_;
  std::unique_ptr<char[]> buffer_;
  BlockMarks marks_;
  std::unique_ptr<char[]> spare_;  // the block read ahead, and its marks
  BlockMarks spareMarks_;
  std::int64_t spareRead_ = 0;
  int spareError_ = 0;
  std::unique_ptr<Worker> ahead_;
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  std::uint64_t bytesRead_ = 0;
  bool eof_ = false;
  bool discarded_ = false;
  bool unended_ = false;
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
  // `onInterrupted` runs before each write, so after a signal cut one
  // short; `onFull` every 100 ms while a pipe has no room: either may throw
  // to stop writing. With `writeBehind` (a regular file) a full block is
  // written on a thread of its own while the caller fills the next; a
  // failure shows at the next.
  BlockWriter(FileSystem& fs, FileHandle file, std::string name, WaitHook onInterrupted = {}, WaitHook onFull = {},
              bool writeBehind = false);

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
    if (size > kBlockSize - len_) Drain();
    return buffer_.get() + len_;
  }
  void Commit(std::size_t size) { len_ += size; }
  // Cuts the file to nothing before the first block is written: on the
  // writing thread, when there is one, while the caller fills that block.
  void Empty();
  // Writes out everything appended, and waits until it is written.
  void Flush();

 private:
  void AppendLarge(std::string_view bytes);
  // Hands the buffer over to be written, and starts on an empty one.
  void Drain();
  // Waits until what was handed over is written; throws its failure.
  void Settle();
  void WriteAll(const char* data, std::size_t size);

  FileSystem& fs_;
  FileHandle file_;
  std::string name_;
  WaitHook onInterrupted_;
  WaitHook onFull_;
  std::unique_ptr<char[]> buffer_;
  std::size_t len_ = 0;
  std::unique_ptr<char[]> spare_;  // the block being written behind
  std::size_t spareLen_ = 0;
  int behindError_ = 0;
  std::unique_ptr<Worker> behind_;
};

}  // namespace kestrel
