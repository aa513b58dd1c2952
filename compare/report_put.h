#pragma once

// For the report writers alone: it needs fmt, which only compare/ sees.

#include <fmt/format.h>

#include <iterator>
#include <utility>

#include "block_io.h"

namespace kestrel::compare {

// Appends formatted text to the writer.
template <typename... T>
void Put(BlockWriter& out, fmt::format_string<T...> format, T&&... args) {
  fmt::memory_buffer buffer;
  fmt::format_to(std::back_inserter(buffer), format, std::forward<T>(args)...);
  out.Append({buffer.data(), buffer.size()});
}

}  // namespace kestrel::compare
