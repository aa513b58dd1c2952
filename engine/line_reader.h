#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "block_io.h"
#include "byte_marks.h"
#include "file_system.h"
#include "io_error.h"

namespace kestrel {

// Longest line a run accepts unless told otherwise; a longer one ends the
// run with an error rather than exhausting memory.
constexpr std::uint64_t kMaxLineLength = std::uint64_t{1} << 30;

// The error for a line of the log `name` longer than `limit` bytes.
IoError LineTooLong(const std::string& name, std::uint64_t limit);

// One line of the input, without its line end, in the reader's own memory:
// the caller may rewrite it in place until the next line is asked for; so
// are its marks, where it has them.
struct Line {
  char* data = nullptr;
  std::size_t size = 0;
  LineMarks marks;
};

// The blocks a run reads, each marked as it is read (BlockMarks), split
// into lines at their LFs without searching them again.
class LineReader {
 public:
  struct Options {
    BasicBlockReader<BlockMarks>::Options blocks;
    // Every CR is dropped from a line, not only the one before its LF.
    bool dropEveryCr = false;
    // A line longer than this (without its CRs) ends the run with an error
    // naming `logName`.
    std::uint64_t maxLineLength = kMaxLineLength;
    std::string logName;
  };

  LineReader(FileSystem& fs, FileHandle file, std::string name, WaitHook onWait, Options options);

  // The next line, split off at LF, with its line-end CR (or every CR)
  // dropped. False at the end of the input, and after DiscardRest: a line
  // the discard cut short is never returned.
  bool NextLine(Line& line) {
    const std::size_t pos = in_.Position(), len = in_.BlockLength();
    if (pos < len && !in_.Discarded()) {
      const BlockMarks& marks = in_.MarksOfBlock();
      const std::size_t lf = BlockMarks::Next(marks.lf.data(), pos, len);
      if (lf < len) {
        line = {in_.Block() + pos, lf - pos, {marks.comma.data(), marks.v.data(), pos}};
        in_.Consume(lf + 1 - pos);
        DropCr(line);
        if (line.size > options_.maxLineLength) throw LineTooLong(options_.logName, options_.maxLineLength);
        return true;
      }
    }
    return NextLineAcrossBlocks(line);
  }

  // Treats everything not yet read as consumed: the input is at its end.
  void DiscardRest() { in_.DiscardRest(); }
  std::uint64_t BytesRead() const { return in_.BytesRead(); }
  // Whether the last line returned ended at the end of the input, without LF.
  bool LastLineUnended() const { return unended_; }

 private:
  // The line without its CRs (every one, or the one before its line end),
  // moved down in place; a line whose bytes moved loses its marks.
  void DropCr(Line& line) const {
    if (options_.dropEveryCr) {
      const std::size_t end = line.marks.first + line.size;
      const std::size_t cr = BlockMarks::Next(in_.MarksOfBlock().cr.data(), line.marks.first, end);
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

  BasicBlockReader<BlockMarks> in_;
  Options options_;
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

}  // namespace kestrel
