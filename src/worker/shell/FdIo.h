#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pelmora::worker {

// Writes all of the bytes, however many calls it takes. False on a write error (the
// reader has gone, the disk is full).
bool WriteAll(int fd, std::string_view bytes);

// One read(2), retried when interrupted: the number of bytes appended to `into`, 0 at
// the end of input, -1 on an error.
long ReadSome(int fd, std::string &into, std::size_t most);

// Gives the frames a descriptor of their own: returns a copy of standard output and
// points descriptor 1 at standard error (or /dev/null), so a library that prints
// cannot break the stream. -1 when no copy could be made; nothing is changed then.
int SetStandardOutputAside();

} // namespace pelmora::worker
