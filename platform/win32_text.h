#pragma once

// Text conversions of the Windows implementation: the engine's paths and
// arguments are UTF-8, the system's own calls take UTF-16.

#include <string>

namespace kestrel::win32 {

// UTF-8 to UTF-16; false when `text` is not valid UTF-8.
bool Widen(const std::string& text, std::wstring* wide);
// UTF-16 to UTF-8 (an unpaired surrogate becomes U+FFFD).
std::string Narrow(const std::wstring& wide);

// The nearest errno value for a system error code (GetLastError), or
// kErrorSystem plus the code when no errno value says the same.
int ErrnoOf(unsigned long error);
// The system error code that an errno value of ErrnoOf stands for (the
// first that maps to it), or 0 when there is none.
unsigned long SystemErrorOf(int error);
// The system's own text for an error code, in the user's language.
std::string SystemErrorText(unsigned long error);

}  // namespace kestrel::win32
