#include "convert/FileHelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace pelmora {

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

} // namespace pelmora
