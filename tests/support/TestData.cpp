#include "TestData.h"

#include <QFile>

namespace pelmora::test {

QString dataFile(const QString &name)
{
    return QStringLiteral(PELMORA_TEST_DATA "/") + name;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush())
        return true;
    qWarning("could not write %s: %s", qPrintable(path), qPrintable(file.errorString()));
    return false;
}

} // namespace pelmora::test
