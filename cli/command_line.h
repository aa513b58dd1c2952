#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace kestrel {

// Parses the arguments of argv (after the program's name) into the options
// that `app` names and the other arguments, in their order, by the rules
// kestrel-convert and kestrel-compare share, those of GNU programs:
// - a long option is spelled out in full: an abbreviation (`--suf`) is an
//   unknown option;
// - an option's value follows `=` or is the next argument, whatever it looks
//   like (`--suffix=.txt`, `--suffix .txt`, `-o -x.txt`), and may be empty
//   (`--suffix=`); a flag takes no value (`--strict=yes` is an error);
// - short options may be written together (`-iV`), the last of them with its
//   value attached (`-oFILE`) or next;
// - options and other arguments may come in any order, and the last of an
//   option given twice counts; `--` ends the options; `-` is an argument;
// - on Windows, `/?` anywhere asks for the help, as `--help` does (which
//   `app` must name).
// Returns the problem in words for a usage error, with the option as it was
// written (`unknown option '--suf'`), or "" when the arguments parse.
std::string ParseCommandLine(CLI::App& app, int argc, char** argv, std::vector<std::string>& arguments);

}  // namespace kestrel
