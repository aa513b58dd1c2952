// libFuzzer entry: arbitrary bytes as logs through the real engine.

#include <cstddef>
#include <cstdint>

#include "conversion_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  kestrel::test::CheckConversion(data, size);
  return 0;
}
