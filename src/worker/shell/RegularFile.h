#pragma once

#include "protocol/WorkerProtocol.h"

#include <string>

namespace pelmora::worker {

// A file opened for reading that is known to be a regular one.
struct RegularFile
{
    int fd = -1; // owned by the caller; -1 when the file was not opened
    // Text when opened; NotRegular for a folder, pipe or device; Damaged otherwise.
    protocol::Outcome outcome = protocol::Outcome::Damaged;
    // Why not, in the words poppler uses for it ("Couldn't open file '...': ...").
    std::string problem;
};

// Opens the path (bytes, as the file system holds them) for reading, refusing anything
// but a regular file before reading a byte and without ever waiting on one: a FIFO
// without a writer would otherwise keep the converter for ever.
RegularFile OpenRegularFile(const std::string &path);

} // namespace pelmora::worker
