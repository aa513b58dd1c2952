#pragma once

#include <string>

namespace kestrel {

// Characters that separate directories in a path: "/" here, and "\" as well
// on Windows.
#ifdef _WIN32
inline constexpr const char* kPathSeparators = "\\/";
#else
inline constexpr const char* kPathSeparators = "/";
#endif

// The path without the extension of its file name and without that
// extension's dot. Dots in directory names do not count; only the last
// extension goes ("ix1.2020.log" -> "ix1.2020"; "ix1." -> "ix1").
std::string PathWithoutExtension(const std::string& path, const char* separators = kPathSeparators);

// The output extension as kept and saved for what the user typed: with a dot
// in front unless it already holds a dot somewhere ("txt" -> ".txt",
// "" -> ".", "tx.t" stays).
std::string NormaliseExtension(const std::string& typed);

// The converted log's path for a log and an output extension as typed: the
// log's path with its extension replaced ("ix1.log", "txt" -> "ix1.txt").
std::string OutputPathFor(const std::string& log, const std::string& extension);

}  // namespace kestrel
