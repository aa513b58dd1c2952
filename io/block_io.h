#pragma once

#include <cerrno>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "file_system.h"
#include "io_error.h"

namespace kestrel {

// Size of the blocks files are read and written in.
constexpr std::size_t kBlockSize = 1 << 20;

// Called while a reader or writer waits: after each block read, every 100 ms
// while a pipe has no data yet, and when a system call was interrupted by a
// signal. It may throw to end the wait, or discard the rest of the input.
using WaitHook = std::function<void()>;

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

// What a reader finds in each block as it is read: here nothing. A reader
// given a type of marks of its own (see BasicBlockReader) has each block
// marked as soon as it is read, on the reading thread when it reads ahead.
struct NoMarks {
  void Reserve(std::size_t) {}
  void Mark(char*, std::size_t) {}
};

// Reads a file in large blocks. The file is not owned.
//
// Each block read is marked into a `Marks`: `Reserve(size)` makes room for
// the marks of `size` bytes beforehand, `Mark(data, size)` marks a block,
// whose buffer has 64 bytes to spare beyond it, so that it can be marked in
// whole 64-bit words. A block's marks go with it: MarksOfBlock() belongs to
// Block().
template <typename Marks = NoMarks>
class BasicBlockReader {
 public:
  struct Options {
    // Named pipe opened without waiting for its writer: nothing is read
    // before data arrives, since it reads as ended until a writer has come.
    bool waitForWriter = false;
    // A pipe or a device, which may keep silent as long as it likes: every
    // read waits for data first in short steps, so that the caller can
    // answer its user, and see a stop, meanwhile.
    bool waitEachRead = false;
    // A regular file: the next block is read, on a thread of its own, while
    // the caller works through the one before.
    bool readAhead = false;
  };

  BasicBlockReader(FileSystem& fs, FileHandle file, std::string name, WaitHook onWait, Options options);

  // The bytes not yet consumed, refilling the buffer when all were consumed.
  // Empty at the end of the input, and after DiscardRest.
  std::string_view Available();
  void Consume(std::size_t count) { pos_ += count; }

  // The block in the buffer: its bytes, how many of them were read, how far
  // they are consumed, and its marks. Valid until the next Available().
  char* Block() const { return buffer_.get(); }
  std::size_t BlockLength() const { return len_; }
  std::size_t Position() const { return pos_; }
  const Marks& MarksOfBlock() const { return marks_; }

  // Treats everything not yet read as consumed: the input is at its end.
  void DiscardRest() { discarded_ = true; }
  bool Discarded() const { return discarded_; }
  std::uint64_t BytesRead() const { return bytesRead_; }

 private:
  void Refill();
  void ReadAhead();

  FileSystem& fs_;
  FileHandle file_;
  std::string name_;
  WaitHook onWait_;
  Options options_;
  bool waitForData_;
  std::unique_ptr<char[]> buffer_;
  Marks marks_;
  std::unique_ptr<char[]> spare_;  // the block read ahead, and its marks
  Marks spareMarks_;
  std::int64_t spareRead_ = 0;
  int spareError_ = 0;
  std::unique_ptr<Worker> ahead_;
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  std::uint64_t bytesRead_ = 0;
  bool eof_ = false;
  bool discarded_ = false;
};

// A reader of plain blocks, marking nothing.
using BlockReader = BasicBlockReader<>;

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

template <typename Marks>
BasicBlockReader<Marks>::BasicBlockReader(FileSystem& fs, FileHandle file, std::string name, WaitHook onWait,
                                          Options options)
    : fs_(fs),
      file_(file),
      name_(std::move(name)),
      onWait_(std::move(onWait)),
      options_(options),
      waitForData_(options_.waitForWriter),
      buffer_(new char[kBlockSize + 64]) {  // room to mark a block in whole words
  if (!options_.readAhead) return;
  spare_.reset(new char[kBlockSize + 64]);
  spareMarks_.Reserve(kBlockSize);
  ahead_ = std::make_unique<Worker>();
  ReadAhead();
}

template <typename Marks>
void BasicBlockReader<Marks>::ReadAhead() {
  ahead_->Start([this] {
    do spareRead_ = fs_.Read(file_, spare_.get(), kBlockSize);
    while (spareRead_ < 0 && errno == EINTR);
    spareError_ = spareRead_ < 0 ? errno : 0;
    if (spareRead_ > 0) spareMarks_.Mark(spare_.get(), static_cast<std::size_t>(spareRead_));
  });
}

template <typename Marks>
std::string_view BasicBlockReader<Marks>::Available() {
  if (!discarded_ && pos_ == len_ && !eof_) Refill();
  if (discarded_) return {};
  return {buffer_.get() + pos_, len_ - pos_};
}

template <typename Marks>
void BasicBlockReader<Marks>::Refill() {
  constexpr int kWaitMilliseconds = 100;
  pos_ = len_ = 0;
  auto wait = [this] {
    if (onWait_) onWait_();
    return !discarded_;
  };
  for (;;) {
    if (waitForData_ || options_.waitEachRead) {
      // A pipe without data: wait for it in short steps, so that the caller
      // can answer its user (and abort) meanwhile.
      const int ready = fs_.WaitReadable(file_, kWaitMilliseconds);
      if (ready < 0) throw IoError(name_, errno);
      if (ready == 0) {
        if (!wait()) return;
        continue;
      }
      waitForData_ = false;
    }
    std::int64_t n;
    if (ahead_) {
      // The block read ahead becomes this one, and the next is read meanwhile.
      ahead_->Wait();
      if ((n = spareRead_) < 0) throw IoError(name_, spareError_);
      std::swap(buffer_, spare_);
      std::swap(marks_, spareMarks_);
      if (n > 0) ReadAhead();
    } else if ((n = fs_.Read(file_, buffer_.get(), kBlockSize)) > 0) {
      marks_.Mark(buffer_.get(), static_cast<std::size_t>(n));
    }
    if (n < 0 && errno == EINTR) {
      if (!wait()) return;
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      waitForData_ = true;
      continue;
    }
    if (n < 0) throw IoError(name_, errno);
    if (n == 0) eof_ = true;
    len_ = static_cast<std::size_t>(n);
    bytesRead_ += len_;
    if (n > 0) wait();  // the data read stays; an abort here skips it
    return;
  }
}

// Made once, in block_io.cpp.
extern template class BasicBlockReader<NoMarks>;

}  // namespace kestrel
