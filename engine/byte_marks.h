#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrel {

// Where the bytes that matter to the rewriting stand in a block of a log,
// found for the whole block at once: one bit per byte (bit i of word j
// stands for byte 64 j + i), for line ends, CRs, commas and letters "v".
// The lines are then split, and each looked at, without searching it again.
struct BlockMarks {
  std::vector<std::uint64_t> lf, cr, comma, v;

  // Makes room for the marks of `size` bytes, so that marking no more than
  // that allocates nothing (on the thread that reads ahead).
  void Reserve(std::size_t size) {
    for (std::vector<std::uint64_t>* bits : {&lf, &cr, &comma, &v}) bits->reserve(size / 64 + 1);
  }
  // Marks `size` bytes at `data`, which must be readable, and writable, up
  // to the next multiple of 64: the bytes beyond `size` are zeroed first.
  void Mark(char* data, std::size_t size);

  // The first bit set in `bits` at `from` or after it, before `to`; `to` when none.
  static std::size_t Next(const std::uint64_t* bits, std::size_t from, std::size_t to) {
    if (from >= to) return to;
    std::size_t word = from >> 6;
    std::uint64_t set = bits[word] & (~std::uint64_t{0} << (from & 63));
    while (set == 0) {
      if (++word << 6 >= to) return to;
      set = bits[word];
    }
    const std::size_t at = (word << 6) + std::countr_zero(set);
    return at < to ? at : to;
  }
};

// A line's share of its block's marks: bit `first` stands for its first
// byte. Null marks: the line must be looked at on its own (one gathered from
// several blocks, or with CRs taken out of it). A line with marks may be read
// up to 64 bytes beyond its end, and whoever takes its rewritten form has as
// much room to spare.
struct LineMarks {
  const std::uint64_t* comma = nullptr;
  const std::uint64_t* v = nullptr;
  std::size_t first = 0;
};

// The ways of marking a block, widest first. A process marks with the
// widest its processor has, unless told to take another: the tests try each
// way there is, so that a fault in one shows on any machine that has it.
enum class MarkStep { k32Bytes, k16Bytes, kByte };

// Makes all marking that follows, in the whole process, take `step`, if the
// processor has it; whether it does (otherwise nothing changes).
bool ForceMarkStep(MarkStep step);

}  // namespace kestrel
