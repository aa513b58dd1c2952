#include "block_io.h"

#include <poll.h>

#include <cerrno>
#include <cstring>

namespace kestrel {

IoError::IoError(const std::string& file, int error, const std::string& reason)
    : std::runtime_error(file + ": " + (error != 0 ? std::string(std::strerror(error)) : reason)),
      file_(file),
      error_(error) {}

IoError LineTooLong(const std::string& name) {
  return IoError(name, 0, "a line is longer than " + std::to_string(kMaxLineLength >> 20) + " MiB");
}

BlockReader::BlockReader(FileSystem& fs, int fd, std::string name, WaitHook onWait, bool waitForWriter)
    : fs_(fs),
      fd_(fd),
      name_(std::move(name)),
      onWait_(std::move(onWait)),
      waitForData_(waitForWriter),
      buffer_(new char[kBlockSize]) {}

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
      pollfd ready{fd_, POLLIN, 0};
      const int n = ::poll(&ready, 1, kWaitMilliseconds);
      if (n < 0 && errno != EINTR) throw IoError(name_, errno);
      if (n <= 0) {
        if (!wait()) return;
        continue;
      }
      waitForData_ = false;
    }
    const ssize_t n = fs_.Read(fd_, buffer_.get(), kBlockSize);
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
    if (n > 0) wait();  // the data read stays; an abort here skips it
    return;
  }
}

bool BlockReader::NextLineAcrossBlocks(std::string_view& line) {
  longLine_.clear();
  bool partial = false;  // part of the line is already in longLine_
  for (;;) {
    const std::string_view data = Available();
    if (data.empty()) {
      if (!partial) return false;
      line = longLine_;
      return true;  // last line, without a line end
    }
    const void* lf = std::memchr(data.data(), '\n', data.size());
    const std::size_t take = lf ? static_cast<const char*>(lf) - data.data() : data.size();
    if (!partial && lf) {
      line = data.substr(0, take);
    } else {
      if (longLine_.size() + take > kMaxLineLength) throw LineTooLong(name_);
      longLine_.append(data.data(), take);
      partial = true;
      line = longLine_;
    }
    Consume(take + (lf ? 1 : 0));
    if (lf) {
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      return true;
    }
  }
}

BlockWriter::BlockWriter(FileSystem& fs, int fd, std::string name, WaitHook onInterrupted)
    : fs_(fs), fd_(fd), name_(std::move(name)), onInterrupted_(std::move(onInterrupted)), buffer_(new char[kBlockSize]) {}

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
    const ssize_t n = fs_.Write(fd_, data, size);
    if (n < 0 && errno == EINTR) {
      if (onInterrupted_) onInterrupted_();
      continue;
    }
    if (n < 0) throw IoError(name_, errno);
    if (n == 0) throw IoError(name_, ENOSPC);
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

}  // namespace kestrel
