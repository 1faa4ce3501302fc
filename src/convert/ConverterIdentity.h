#pragma once

#include <QString>

namespace pelmora {

// What a converter's text depends on, told without running the converter, so that a run
// that takes every file from the results cache starts no process at all.

// The file at `path` as its path, size, modification time to the nanosecond and inode:
// another build or an update of it gives another text. "missing" when it is not there.
QString FileIdentity(const QString &path);

// The poppler library the converters run with: the version the program was built with,
// and the identity of the library file, which an update replaces.
QString PopplerIdentity();

} // namespace pelmora
