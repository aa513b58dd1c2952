#pragma once

#include <string>
#include <vector>

namespace kestrel {

// Splits a command line handed over as one string (as Windows does) into the
// log paths it names. Paths are separated by blanks; a double quote switches
// to gathering up to the next double quote, so a path with blanks is written
// in quotes. Every blank ends a path, so two blanks in a row, a leading blank
// or a blank right after a closing quote give an empty path. An unterminated
// quote runs to the end of the line.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

}  // namespace kestrel
