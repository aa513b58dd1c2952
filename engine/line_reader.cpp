#include "line_reader.h"

#include <algorithm>
#include <new>
#include <string_view>
#include <utility>

namespace kestrel {

IoError LineTooLong(const std::string& name, std::uint64_t limit) {
  const std::string length = limit % (1 << 20) == 0 ? std::to_string(limit >> 20) + " MiB"
                                                    : std::to_string(limit) + InLanguage(" bytes", " バイト");
  return IoError(name, 0, InLanguage("a line is longer than ", "") + length + InLanguage("", " を超える行があります"));
}

LineReader::LineReader(FileSystem& fs, FileHandle file, std::string name, WaitHook onWait, Options options)
    : in_(fs, file, name, std::move(onWait), options.blocks), options_(std::move(options)) {
  if (options_.logName.empty()) options_.logName = std::move(name);
}

bool LineReader::NextLineAcrossBlocks(Line& line) {
  longSize_ = 0;
  bool partial = false;  // part of the line is already in long_
  // While the line is gathered its CRs are still in it: one more byte than
  // the limit may be its line-end CR.
  const std::uint64_t gatherLimit = options_.dropEveryCr ? UINT64_MAX : options_.maxLineLength + 1;
  for (;;) {
    const std::string_view data = in_.Available();
    if (in_.Discarded()) return false;  // a line cut short by an abort is not a line
    if (data.empty()) {
      if (!partial) return false;
      unended_ = true;  // the last line, without a line end
      break;
    }
    const void* lf = std::memchr(data.data(), '\n', data.size());
    const std::size_t take = lf ? static_cast<const char*>(lf) - data.data() : data.size();
    if (!partial && lf) {  // the whole line in the block just read
      const BlockMarks& marks = in_.MarksOfBlock();
      line = {const_cast<char*>(data.data()), take, {marks.comma.data(), marks.v.data(), in_.Position()}};
      in_.Consume(take + 1);
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
    in_.Consume(take + (lf ? 1 : 0));
    if (lf) break;
  }
  line = {long_.get(), options_.dropEveryCr ? longSize_ : DropCr(long_.get(), longSize_), {}};
  if (line.size > options_.maxLineLength) throw LineTooLong(options_.logName, options_.maxLineLength);
  return true;
}

}  // namespace kestrel
