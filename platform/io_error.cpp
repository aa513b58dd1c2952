#include "io_error.h"

#include "file_system.h"

namespace kestrel {

std::string PrintableName(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  for (const unsigned char c : name) {
    if (c >= 0x20 && c != 0x7f) {
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      static const char kHex[] = "0123456789abcdef";
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

IoError::IoError(const std::string& file, int error, const std::string& reason)
    : std::runtime_error(PrintableName(file) + ": " + (error != 0 ? ErrorText(error) : reason)), error_(error) {}

}  // namespace kestrel
