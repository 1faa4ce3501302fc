#include "core/FileHelpers.h"

#include "core/NativePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {

namespace {

// stat(2) of the path, links followed; false when it cannot be examined.
bool statOf(const QString &path, struct stat &info)
{
    return !path.isEmpty() && ::stat(NativePath(path).constData(), &info) == 0;
}

} // namespace

QString StripExtension(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot < 0 ? path : path.left(dot);
}

QString FileNameOfPath(const QString &path)
{
    const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(QDir::separator()));
    return path.mid(slash + 1);
}

void DeleteFileQuietly(const QString &path)
{
    if (path.isEmpty() || QFile::remove(path))
        return;
    // A read-only file: make it writable and try once more, as a forced delete would.
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
    QFile::remove(path);
}

bool FileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

bool IsFolder(const QString &path)
{
    struct stat info;
    return statOf(path, info) && S_ISDIR(info.st_mode);
}

bool IsOpenableFile(const QString &path)
{
    struct stat info;
    return statOf(path, info) && S_ISREG(info.st_mode) && ::access(NativePath(path).constData(), R_OK) == 0;
}

bool IsOrdinaryFile(const QString &path)
{
    // A pipe or a device would keep the converter waiting; a dot-file is hidden.
    return IsOpenableFile(path) && !FileNameOfPath(path).startsWith(u'.');
}

} // namespace pelmora
