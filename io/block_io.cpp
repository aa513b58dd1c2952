#include "block_io.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform.h"

namespace kestrel {

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

template class BasicBlockReader<NoMarks>;

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
