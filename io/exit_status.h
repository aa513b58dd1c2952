#pragma once

namespace kestrel {

// The exit statuses kestrel-convert and kestrel-compare share, beside 0 and
// the 128 + the signal's number of a stop (platform::StopSignalExitStatus).
// Each program's own statuses (1, 2) are its own.

// Standard output was closed by its reader (EPIPE): `main` then ends the
// program as SIGPIPE would (platform::DieOfClosedPipe), 141 in the shell.
inline constexpr int kExitClosedOutput = 141;

}  // namespace kestrel
