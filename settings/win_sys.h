#pragma once

#include <cstddef>
#include <string>

#include "file_system.h"

namespace kestrel {

// WinSys: plain procedures around the private-profile (INI) settings store.
//
// The store behaves as the Windows private-profile functions do, because
// users edit Kestrel.ini by hand and rely on that: section and key names match
// without regard to ASCII case, blanks around a value are dropped when it is
// read, a value enclosed in a pair of matching single or double quotes is read
// without them, a key that appears more than once in its section reads as its
// first occurrence, and a missing file, section or key reads as empty text.
// Text is handled as bytes in the system's 8-bit code page; nothing is
// converted.
//
// Nothing is kept between calls: every call opens, reads or writes and closes
// the file. Failures are not reported; a setting that cannot be written is
// simply not saved, and one that cannot be read reads as empty text.
namespace WinSys {

// Where the program keeps its two settings.
inline constexpr const char* kSection = "Kestrel";
inline constexpr const char* kFileExtKey = "FileExt";
inline constexpr const char* kOverWriteKey = "OverWrite";

// The longest value GetIniString returns; the store's read buffer holds 255
// characters including the terminating NUL.
inline constexpr std::size_t kMaxValueLength = 254;

// Writes key=value into the section of the file, creating the file or the
// section if needed. Of a key that appears more than once, the first counts,
// for reading and writing alike. The write changes the value on that key's
// line and no other byte of the file; a missing key is added below the last
// key of the section, a missing section at the end of the file. Added lines end
// as the file's first line does, and a new file has CR LF line ends. A value is
// one line: it ends at its first NUL, CR or LF.
//
// The new content goes to a temporary file beside the settings file, which
// replaces it once flushed to disk, so the old settings stay whole if the write
// fails midway. A file that is read-only is left alone, and so is one that
// cannot be read, is not a regular file, is larger than 1 MiB or holds a NUL
// byte (no settings file does); GetIniString reads these last as missing.
// Whether the setting was saved; when it was not, errno says why.
bool PutIniString(const std::string& file, const std::string& section, const std::string& key, const std::string& value,
                  FileSystem& fs = FileSystem::System());

// The stored value, at most kMaxValueLength characters, or empty text.
std::string GetIniString(const std::string& file, const std::string& section, const std::string& key,
                         FileSystem& fs = FileSystem::System());

// The part of `s` before its first NUL character, or `s` whole if it has none.
std::string CutAtNull(const std::string& s);

// Whether a stored flag means "on": the text, in upper case, is "TRUE".
bool ReadsAsTrue(const std::string& value);

}  // namespace WinSys
}  // namespace kestrel
