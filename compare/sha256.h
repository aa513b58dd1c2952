#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel::compare {

// SHA-256 of a stream of bytes, fed block by block as a log is read, so that
// a report can name exactly which capture it was made from.
class Sha256 {
 public:
  // With the processor's SHA instructions when it has them, unless told not to.
  explicit Sha256(bool useInstructions = true);
  void Update(std::string_view bytes);
  // The digest in lower-case hexadecimal. Ends the stream.
  std::string HexDigest();

 private:
  void Compress(const unsigned char* block, std::size_t blocks);

  std::uint32_t state_[8];
  unsigned char pending_[64];
  std::size_t pendingSize_ = 0;
  std::uint64_t total_ = 0;
  bool hardware_;
};

}  // namespace kestrel::compare
