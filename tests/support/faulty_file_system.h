#pragma once

#include <functional>
#include <map>
#include <string>

#include "file_system.h"

namespace kestrel::test {

// The system's file operations, except that chosen ones fail as a sick disk
// or a full file system would make them fail.
class FaultyFileSystem : public FileSystem {
 public:
  // Opening a path that contains `part` fails with `error`.
  void FailOpen(const std::string& part, int error) { openPart_ = part, openError_ = error; }
  // Writing to a file whose path contains `part` fails with `error` once
  // `allowed` bytes have been written to it.
  void FailWrite(const std::string& part, int error, std::size_t allowed = 0) {
    writePart_ = part, writeError_ = error, writeAllowed_ = allowed;
  }
  // Reading from a file whose path contains `part` fails with `error`.
  void FailRead(const std::string& part, int error) { readPart_ = part, readError_ = error; }
  // Runs `action` before every read from (write to) a file whose path
  // contains `part` ("" for every file): the world changing during a run.
  void OnRead(const std::string& part, std::function<void()> action) { onReadPart_ = part, onRead_ = std::move(action); }
  void OnWrite(const std::string& part, std::function<void()> action) {
    onWritePart_ = part, onWrite_ = std::move(action);
  }
  // Deleting a path that contains `part` fails with `error`.
  void FailUnlink(const std::string& part, int error) { unlinkPart_ = part, unlinkError_ = error; }

  int Open(const std::string& path, int flags, mode_t mode) override;
  ssize_t Read(int fd, void* buffer, size_t size) override;
  ssize_t Write(int fd, const void* buffer, size_t size) override;
  int Close(int fd) override;
  int Unlink(const std::string& path) override;

 private:
  // An empty part matches every path for the actions, and none for the faults.
  static bool Matches(const std::string& path, const std::string& part) {
    return part.empty() || path.find(part) != std::string::npos;
  }
  static bool Has(const std::string& path, const std::string& part) { return !part.empty() && Matches(path, part); }

  std::map<int, std::string> paths_;
  std::string onReadPart_, onWritePart_;
  std::function<void()> onRead_, onWrite_;
  std::string openPart_, writePart_, readPart_, unlinkPart_;
  int openError_ = 0, writeError_ = 0, readError_ = 0, unlinkError_ = 0;
  std::size_t writeAllowed_ = 0;
};

}  // namespace kestrel::test
