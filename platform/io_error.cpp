#include "io_error.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "file_system.h"

namespace kestrel {

namespace {

// The length of the UTF-8 character at `at`, or 1 when the bytes there are
// no valid UTF-8 of more than one byte.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t k) { return at + k < text.size() ? static_cast<unsigned char>(text[at + k]) : 0; };
  const unsigned char lead = byte(0);
  // The range of the second byte, which rules out overlong forms, surrogates
  // and numbers beyond U+10FFFF; the bytes after it are 0x80-0xbf.
  std::size_t length;
  unsigned char low = 0x80, high = 0xbf;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    if (lead == 0xe0) low = 0xa0;
    if (lead == 0xed) high = 0x9f;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    if (lead == 0xf0) low = 0x90;
    if (lead == 0xf4) high = 0x8f;
  } else {
    return 1;
  }
  if (byte(1) < low || byte(1) > high) return 1;
  for (std::size_t k = 2; k < length; ++k)
    if (byte(k) < 0x80 || byte(k) > 0xbf) return 1;
  return length;
}

std::uint32_t CodePoint(const std::string& text, std::size_t at, std::size_t length) {
  std::uint32_t code = static_cast<unsigned char>(text[at]) & (0x7f >> length);
  for (std::size_t k = 1; k < length; ++k) code = code << 6 | (static_cast<unsigned char>(text[at + k]) & 0x3f);
  return code;
}

}  // namespace

std::string PrintableName(const std::string& name) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    const auto c = static_cast<unsigned char>(name[i]);
    const std::size_t length = Utf8Length(name, i);
    if (length > 1) {
      // A character: shown as it is (Japanese names), but for the C1 controls
      // and the marks that turn the direction of the text after them, which
      // a terminal would obey.
      const std::uint32_t code = CodePoint(name, i, length);
      if (code <= 0x9f || (code >= 0x202a && code <= 0x202e) || (code >= 0x2066 && code <= 0x2069)) {
        out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4) out += kHex[code >> shift & 15];
      } else {
        out.append(name, i, length);
      }
      i += length;
      continue;
    }
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7f || (c >= 0x80 && c <= 0x9f)) {
      // A control, or a byte of a C1 control's number outside UTF-8.
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);  // text, or a byte of another encoding (Shift-JIS)
    }
    ++i;
  }
  return out;
}

std::string CloseStandardOutput() {
  const bool written = std::fflush(stdout) == 0 && !std::ferror(stdout);
  const int error = errno;
  if (written && std::fclose(stdout) == 0) return "";
  return IoError("standard output", written ? errno : error).what();
}

IoError::IoError(const std::string& file, int error, const std::string& reason)
    : std::runtime_error(PrintableName(file) + ": " + (error != 0 ? ErrorText(error) : reason)), error_(error) {}

}  // namespace kestrel
