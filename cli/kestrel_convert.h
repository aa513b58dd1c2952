#pragma once

#include "file_system.h"

namespace kestrel {

// kestrel-convert: rewrites an NEC IX `show ip route` log into the Cisco
// layout, as the kestrel window does, for use over ssh and in scripts.
// Returns the exit status: 0 converted, 1 a file failed, 2 a usage error,
// 128 + the signal's number when SIGINT, SIGTERM or SIGHUP stopped it.
int KestrelConvertMain(int argc, char** argv, FileSystem& fs = FileSystem::Posix());

}  // namespace kestrel
