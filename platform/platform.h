#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// The few operating-system services outside the file system that the
// programs need. One implementation for POSIX systems, one for Windows.
namespace kestrel::platform {

// Stop signals: SIGINT, SIGTERM and SIGHUP (Ctrl-C, Ctrl-Break and closing
// the console on Windows). Once caught, the flag holds the signal's number
// and a run given the flag stops at its next check and cleans up. The same
// signal a second time ends the program at once, without cleaning up.
// SIGPIPE and SIGXFSZ are ignored while caught, so that a closed pipe or a
// file size limit fails a write (EPIPE, EFBIG) instead of killing the program.
// The flag is set by the handler, on whichever thread the system chose, and
// read by the thread that runs the conversion.
void CatchStopSignals();
void RestoreStopSignals();
const std::atomic<int>* StopSignalFlag();
// Keeps the stop signals away from the calling thread, one the engine starts
// to read or write beside the run: they go to the thread that runs the
// conversion, whose waiting read or write they cut short. Nothing on
// Windows, whose console events come on a thread of their own.
void BlockStopSignalsInThisThread();
// The number of the stop signal caught, 0 if none.
int CaughtStopSignal();
// The conventional exit status after the stop signal caught: 128 + its number
// (129 SIGHUP, 130 SIGINT, 143 SIGTERM).
int StopSignalExitStatus();
// Ends the program as a write to a closed pipe ends `cat`: killed by SIGPIPE
// (status 141 in the shell), once the run has cleaned up.
[[noreturn]] void DieOfClosedPipe();

// Whether the descriptor (0, 1 or 2) is a terminal.
bool IsTerminal(int fd);

// This process's id.
std::uint32_t ProcessId();

// Writes a message to standard error: the bytes themselves, except that a
// Windows console is given the UTF-8 text as UTF-16, so that file names
// outside the console's code page show as they are.
void WriteError(const std::string& text);

// Text in Shift-JIS as Windows writes it (code page 932: the Japanese of
// terminal programs and hand-written notes in a captured log) as UTF-8.
// False when the bytes are not valid in that code page.
bool DecodeCp932(const std::string& bytes, std::string* utf8);

// The folder of the user's own settings: on POSIX systems an absolute
// XDG_CONFIG_HOME, else ~/.config (HOME, or the account's home when HOME is
// unset or relative); on Windows %APPDATA%. Empty when there is none.
std::string UserConfigFolder();

// Makes standard error reach the console the program was started from, if
// any (a Windows program with a window has no console of its own), and
// tells whether standard error reaches someone: false when the program was
// started from a desktop (a launcher, a file manager) with no terminal, and
// only then, so that a job nobody watches never waits for a user.
bool ConnectStandardError();

// The names with their patterns (* and ?) expanded into the files they
// match, as Windows programs expand them; elsewhere the shell has done so,
// and the names come back as they are. Patterns that match no file go to
// `unmatched`.
std::vector<std::string> ExpandPatterns(const std::vector<std::string>& names, std::vector<std::string>* unmatched);

// The program's arguments: argv itself on POSIX systems; on Windows the wide
// command line in UTF-8, so that names outside the ANSI code page arrive whole.
std::vector<std::string> Arguments(int argc, char** argv);

}  // namespace kestrel::platform
