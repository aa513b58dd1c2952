#pragma once

#include "exit_status.h"
#include "file_system.h"

namespace kestrel {

// kestrel-convert: rewrites NEC IX `show ip route` logs into the Cisco
// layout, as the kestrel window does, for use over ssh and in scripts.
// Returns the exit status: 0 converted, 1 a file failed, 2 a usage error,
// 128 + the signal's number when SIGHUP, SIGINT or SIGTERM stopped it, and
// kExitClosedOutput when the reader of standard output went away.
int KestrelConvertMain(int argc, char** argv, FileSystem& fs = FileSystem::System());

}  // namespace kestrel
