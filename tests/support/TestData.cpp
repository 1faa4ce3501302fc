#include "TestData.h"

#include <QFile>
#include <QTest>

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

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace pelmora::test
