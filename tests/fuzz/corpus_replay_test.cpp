// Every log of the fuzzing seed corpus, through the same checks as the fuzzer.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "conversion_check.h"
#include "test_files.h"

namespace kestrel {
namespace {

TEST(CorpusReplayTest, EverySeedKeepsTheRules) {
  int seeds = 0;
  for (const auto& entry : std::filesystem::directory_iterator(FUZZ_CORPUS_DIR)) {
    SCOPED_TRACE(entry.path().string());
    const std::string bytes = test::ReadFile(entry.path());
    test::CheckConversion(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    ++seeds;
  }
  EXPECT_GE(seeds, 5);
}

}  // namespace
}  // namespace kestrel
