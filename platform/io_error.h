#pragma once

#include <stdexcept>
#include <string>

namespace kestrel {

// A failed file operation: the file's name as the user knows it and the
// system's reason (an errno value), or a reason of our own when `error` is 0.
// Control characters in the name are escaped, so the message is one line.
class IoError : public std::runtime_error {
 public:
  IoError(const std::string& file, int error, const std::string& reason = {});
  // A message of another form, whose names are already printable.
  static IoError Saying(const std::string& message, int error = 0) { return IoError(error, message); }
  int Error() const { return error_; }

 private:
  IoError(int error, const std::string& message) : std::runtime_error(message), error_(error) {}
  int error_;
};

// The name with control characters written as \n, \t, \xHH (a C1 control
// as UTF-8, and the characters that turn the direction of text, as \uHHHH),
// so that it shows on a terminal as the one line it is.
std::string PrintableName(const std::string& name);

// Flushes and closes the C library's standard output, as `cat` ends: a write
// or a close that fails (a full disk) is an error, not a silent loss. "" when
// all went out, else the error's text.
std::string CloseStandardOutput();

}  // namespace kestrel
