#pragma once

#include "exit_status.h"
#include "file_system.h"

namespace kestrel {

// kestrel-compare: compares two routing tables, each an NEC IX or a Cisco
// `show ip route` capture (converted or not), route by route. Returns the
// exit status: 0 the tables are the same under the rules, 1 they differ,
// 2 trouble (usage, a file, --strict), 128 + the signal's number when
// SIGHUP, SIGINT or SIGTERM stopped it, and kExitClosedOutput (141) when
// the reader of standard output went away.
int KestrelCompareMain(int argc, char** argv, FileSystem& fs = FileSystem::System());

}  // namespace kestrel
