#include "convert/ConverterIdentity.h"

#include "core/NativePath.h"

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

QString FileIdentity(const QString &path)
{
    struct stat status = {};
    if (path.isEmpty() || ::stat(NativePath(path).constData(), &status) != 0)
        return path + u" missing"_s;
    const qint64 ns = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return path + u' ' + QString::number(status.st_size) + u' ' + QString::number(ns) + u' ' +
           QString::number(status.st_ino);
}

QString PopplerIdentity()
{
    return u"poppler " PELMORA_POPPLER_VERSION_TEXT ", "_s +
           FileIdentity(QStringLiteral(PELMORA_POPPLER_LIBRARY));
}

} // namespace pelmora
