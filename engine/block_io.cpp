#include "block_io.h"

#include <algorithm>
#include <cerrno>
#include <new>

namespace kestrel {

IoError LineTooLong(const std::string& name, std::uint64_t limit) {
  return IoError(name, 0,
                 limit % (1 << 20) == 0 ? "a line is longer than " + std::to_string(limit >> 20) + " MiB"
                                        : "a line is longer than " + std::to_string(limit) + " bytes");
}

BlockReader::BlockReader(FileSystem& fs, FileHandle file, std::string name, WaitHook onWait, Options options)
    : fs_(fs),
      file_(file),
      name_(std::move(name)),
      onWait_(std::move(onWait)),
      options_(std::move(options)),
      waitForData_(options_.waitForWriter),
      buffer_(new char[kBlockSize]) {
  if (options_.logName.empty()) options_.logName = name_;
}

std::string_view BlockReader::Available() {
  if (!discarded_ && pos_ == len_ && !eof_) Refill();
  if (discarded_) return {};
  return {buffer_.get() + pos_, len_ - pos_};
}

void BlockReader::Refill() {
  constexpr int kWaitMilliseconds = 100;
  pos_ = len_ = 0;
  auto wait = [this] {
    if (onWait_) onWait_();
    return !discarded_;
  };
  for (;;) {
    if (waitForData_) {
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
    const std::int64_t n = fs_.Read(file_, buffer_.get(), kBlockSize);
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
    // Most logs hold no CR at all, or one per line: one look at the block
    // spares the lines a search of their own.
    blockHasCr_ = options_.dropEveryCr && std::memchr(buffer_.get(), '\r', len_) != nullptr;
    if (n > 0) wait();  // the data read stays; an abort here skips it
    return;
  }
}

bool BlockReader::NextLineAcrossBlocks(Line& line) {
  longSize_ = 0;
  bool partial = false;  // part of the line is already in long_
  // While the line is gathered its CRs are still in it: one more byte than
  // the limit may be its line-end CR.
  const std::uint64_t gatherLimit = options_.dropEveryCr ? UINT64_MAX : options_.maxLineLength + 1;
  for (;;) {
    const std::string_view data = Available();
    if (discarded_) return false;  // a line cut short by an abort is not a line
    if (data.empty()) {
      if (!partial) return false;
      unended_ = true;  // the last line, without a line end
      break;
    }
    const void* lf = std::memchr(data.data(), '\n', data.size());
    const std::size_t take = lf ? static_cast<const char*>(lf) - data.data() : data.size();
    if (!partial && lf) {
      Consume(take + 1);
      char* from = const_cast<char*>(data.data());
      line = {from, DropCr(from, take)};
      if (line.size > options_.maxLineLength) throw LineTooLong(options_.logName, options_.maxLineLength);
      return true;
    }
    if (longSize_ + take > gatherLimit) throw LineTooLong(options_.logName, options_.maxLineLength);
    if (longSize_ + take > longCapacity_) {
      const std::size_t capacity = std::max(longSize_ + take, longCapacity_ * 2);
      char* grown = static_cast<char*>(std::realloc(long_.get(), capacity));
      if (!grown) throw std::bad_alloc();
      long_.release();
      long_.reset(grown);
      longCapacity_ = capacity;
    }
    std::memcpy(long_.get() + longSize_, data.data(), take);
    // Every CR goes as soon as a block's part of the line is in, so that the
    // limit counts the bytes that stay.
    longSize_ += options_.dropEveryCr ? DropCr(long_.get() + longSize_, take) : take;
    if (options_.dropEveryCr && longSize_ > options_.maxLineLength)
      throw LineTooLong(options_.logName, options_.maxLineLength);
    partial = true;
    Consume(take + (lf ? 1 : 0));
    if (lf) break;
  }
  line = {long_.get(), options_.dropEveryCr ? longSize_ : DropCr(long_.get(), longSize_)};
  if (line.size > options_.maxLineLength) throw LineTooLong(options_.logName, options_.maxLineLength);
  return true;
}

BlockWriter::BlockWriter(FileSystem& fs, FileHandle file, std::string name, WaitHook onInterrupted, WaitHook onFull)
    : fs_(fs),
      file_(file),
      name_(std::move(name)),
      onInterrupted_(std::move(onInterrupted)),
      onFull_(std::move(onFull)),
      buffer_(new char[kBlockSize]) {}

void BlockWriter::AppendLarge(std::string_view bytes) {
  Flush();
  if (bytes.size() >= kBlockSize) {
    WriteAll(bytes.data(), bytes.size());
  } else {
    std::memcpy(buffer_.get(), bytes.data(), bytes.size());
    len_ = bytes.size();
  }
}

void BlockWriter::Flush() {
  const std::size_t size = len_;
  len_ = 0;
  WriteAll(buffer_.get(), size);
}

void BlockWriter::WriteAll(const char* data, std::size_t size) {
  while (size > 0) {
    // Block by block: one huge write makes the system stall on it.
    const std::int64_t n = fs_.Write(file_, data, std::min(size, kBlockSize));
    if (n < 0 && errno == EAGAIN) {
      // A pipe its reader has not emptied: wait for room in short steps, so
      // that the caller can answer its user (and abort) meanwhile.
      if (fs_.WaitWritable(file_, 100) < 0) throw IoError(name_, errno);
      if (onFull_) onFull_();
      continue;
    }
    if (n < 0 && errno != EINTR) throw IoError(name_, errno);
    if (n == 0) throw IoError(name_, ENOSPC);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    // A write that a signal cut short (EINTR, or fewer bytes than asked):
    // the caller checks whether it was a stop before the next write blocks.
    // A signal that comes after this check and before the next write starts
    // waits for that write.
    if (size > 0 && onInterrupted_) onInterrupted_();
  }
}

}  // namespace kestrel
