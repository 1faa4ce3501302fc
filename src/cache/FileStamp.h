#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace pelmora {

// A file's contents as known without reading them whole: where it lives (device and
// inode, which a copy does not keep), its size, its modification time to the nanosecond,
// its status-change time, which no one can set back (a rewrite in the middle that keeps
// the size and sets the modification time back changes it; a rename or a new hard link
// changes it too, so such a file is read again), and a digest of its first and last
// 64 KiB.
struct FileStamp
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    QByteArray digest; // xxHash's XXH3, 128 bits

    // The stamp of the regular file at `path`, links followed; nullopt for anything
    // else or when it cannot be read. A file that changes while it is converted must not
    // be stored: take the stamp before converting and store only when it is still the same.
    static std::optional<FileStamp> of(const QString &path);

    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};

} // namespace pelmora
