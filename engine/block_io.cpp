#include "block_io.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <utility>

#include "platform.h"

namespace kestrel {

IoError LineTooLong(const std::string& name, std::uint64_t limit) {
  const std::string length = limit % (1 << 20) == 0 ? std::to_string(limit >> 20) + " MiB"
                                                    : std::to_string(limit) + InLanguage(" bytes", " バイト");
  return IoError(name, 0, InLanguage("a line is longer than ", "") + length + InLanguage("", " を超える行があります"));
}

Worker::Worker()
    : thread_([this] {
        platform::BlockStopSignalsInThisThread();
        Loop();
      }) {}

Worker::~Worker() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  ready_.notify_all();
  thread_.join();  // after the job under way, if any
}

void Worker::Start(std::function<void()> job) {
  Wait();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    job_ = std::move(job);
  }
  ready_.notify_all();
}

void Worker::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return !job_; });
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void Worker::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ready_.wait(lock, [this] { return job_ || stop_; });
    if (!job_) return;
    lock.unlock();
    std::exception_ptr failure;
    try {
      job_();
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    failure_ = failure;
    job_ = nullptr;
    done_.notify_all();
  }
}

BlockReader::BlockReader(FileSystem& fs, FileHandle file, std::string name, WaitHook onWait, Options options)
    : fs_(fs),
      file_(file),
      name_(std::move(name)),
      onWait_(std::move(onWait)),
      options_(std::move(options)),
      waitForData_(options_.waitForWriter),
      buffer_(new char[kBlockSize + 64]) {  // room to mark a block in whole words
  if (options_.logName.empty()) options_.logName = name_;
  if (!options_.readAhead) return;
  spare_.reset(new char[kBlockSize + 64]);
  spareMarks_.Reserve(kBlockSize);
  ahead_ = std::make_unique<Worker>();
  ReadAhead();
}

void BlockReader::ReadAhead() {
  ahead_->Start([this] {
    do spareRead_ = fs_.Read(file_, spare_.get(), kBlockSize);
    while (spareRead_ < 0 && errno == EINTR);
    spareError_ = spareRead_ < 0 ? errno : 0;
    if (spareRead_ > 0) spareMarks_.Mark(spare_.get(), static_cast<std::size_t>(spareRead_));
  });
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
    if (!partial && lf) {  // the whole line in the block just read
      line = {const_cast<char*>(data.data()), take, {marks_.comma.data(), marks_.v.data(), pos_}};
      Consume(take + 1);
      DropCr(line);
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
  line = {long_.get(), options_.dropEveryCr ? longSize_ : DropCr(long_.get(), longSize_), {}};
  if (line.size > options_.maxLineLength) throw LineTooLong(options_.logName, options_.maxLineLength);
  return true;
}

BlockWriter::BlockWriter(FileSystem& fs, FileHandle file, std::string name, WaitHook onInterrupted, WaitHook onFull,
                         bool writeBehind)
    : fs_(fs),
      file_(file),
      name_(std::move(name)),
      onInterrupted_(std::move(onInterrupted)),
      onFull_(std::move(onFull)),
      buffer_(new char[kBlockSize]) {
  if (!writeBehind) return;
  spare_.reset(new char[kBlockSize]);
  behind_ = std::make_unique<Worker>();
}

void BlockWriter::AppendLarge(std::string_view bytes) {
  Drain();
  if (bytes.size() >= kBlockSize) {
    Settle();
    WriteAll(bytes.data(), bytes.size());
  } else {
    std::memcpy(buffer_.get(), bytes.data(), bytes.size());
    len_ = bytes.size();
  }
}

void BlockWriter::Empty() {
  if (!behind_) {
    if (fs_.Truncate(file_) != 0) throw IoError(name_, errno);
    return;
  }
  behind_->Start([this] {
    if (fs_.Truncate(file_) != 0) behindError_ = errno;
  });
}

void BlockWriter::Flush() {
  Drain();
  Settle();
}

void BlockWriter::Drain() {
  if (!behind_) {
    WriteAll(buffer_.get(), std::exchange(len_, 0));
    return;
  }
  Settle();
  std::swap(buffer_, spare_);
  spareLen_ = std::exchange(len_, 0);
  behind_->Start([this] {
    // A regular file takes the whole block, but for a full disk.
    for (const char *data = spare_.get(), *end = data + spareLen_; data < end && behindError_ == 0;) {
      const std::int64_t n = fs_.Write(file_, data, end - data);
      if (n > 0) data += n;
      if (n <= 0 && (n == 0 || errno != EINTR)) behindError_ = n == 0 ? ENOSPC : errno;
    }
  });
}

void BlockWriter::Settle() {
  if (!behind_) return;
  behind_->Wait();
  if (behindError_ != 0) throw IoError(name_, behindError_);
}

void BlockWriter::WriteAll(const char* data, std::size_t size) {
  while (size > 0) {
    // A stop that came while the block was filled, not in a write, is seen
    // now: the write could wait for a slow reader as long as it likes.
    if (onInterrupted_) onInterrupted_();
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
    // the check above, before the next write, tells whether it was a stop.
    // Only a signal that comes between that check and the write's start
    // waits for the write.
  }
}

}  // namespace kestrel
