#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrel::test {

// Converts arbitrary bytes as a log, split into one to four runs that share
// one remembered route head, through the real engine and real files, and
// checks what must hold whatever the bytes:
//  - the output has exactly as many CR LF-ended lines as the log has lines
//    once its CRs are dropped, and no other CR or LF;
//  - a line whose second field does not start with an interface family
//    comes out unchanged;
//  - a rewritten line has its input's length, its second and third fields
//    swapped, and its first field changed only where it was blank, to bytes
//    that an earlier route head has in the same columns.
// A broken rule aborts the process with a message.
void CheckConversion(const std::uint8_t* data, std::size_t size);

}  // namespace kestrel::test
