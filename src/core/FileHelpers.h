#pragma once

#include <QString>

namespace pelmora {

// The characters before the last "." of the whole path (a "." in a folder name counts
// when the file name has none); the whole path when it holds no ".".
QString StripExtension(const QString &path);

// The characters after the last separator; the whole path when it holds none.
QString FileNameOfPath(const QString &path);

// Removes the file if it can, read-only or not; never reports anything.
void DeleteFileQuietly(const QString &path);

// True when the path names something whose modification time can be read.
bool FileExists(const QString &path);

// True when the path is a folder or a link to one; false when it cannot be examined.
bool IsFolder(const QString &path);

// True when the path is an existing regular file, or a link to one, that the user may
// read. Nothing is opened, so a pipe or a device cannot keep the caller waiting.
bool IsOpenableFile(const QString &path);

// True for a regular file that is not hidden: what the preview will convert. A folder,
// a missing path, a dot-file or a device does not count.
bool IsOrdinaryFile(const QString &path);

} // namespace pelmora
