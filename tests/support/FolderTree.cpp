#include "FolderTree.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::test {

FolderTree::FolderTree()
{
    QVERIFY(m_temp.isValid());
}

FolderTree::~FolderTree()
{
    for (auto it = m_raw.crbegin(); it != m_raw.crend(); ++it)
        ::remove(it->constData());
}

QString FolderTree::path(const QString &relative) const
{
    return relative.isEmpty() ? root() : root() + u'/' + relative;
}

void FolderTree::dirs(const QStringList &relatives) const
{
    for (const QString &relative : relatives)
        QVERIFY2(QDir().mkpath(path(relative)), qPrintable(relative));
}

void FolderTree::files(const QStringList &relatives) const
{
    for (const QString &relative : relatives) {
        QFile file(path(relative));
        QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(relative));
    }
}

void FolderTree::link(const QString &target, const QString &relative) const
{
    QVERIFY2(
        ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path(relative)).constData()) == 0,
        qPrintable(relative));
}

void FolderTree::rawFile(const QByteArray &relative)
{
    const QByteArray full = QFile::encodeName(root()) + '/' + relative;
    const int fd = ::open(full.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    QVERIFY(fd >= 0);
    ::close(fd);
    m_raw.append(full);
}

void FolderTree::rawDir(const QByteArray &relative)
{
    const QByteArray full = QFile::encodeName(root()) + '/' + relative;
    QVERIFY(::mkdir(full.constData(), 0755) == 0);
    m_raw.append(full);
}

QStringList FolderTree::relative(const QStringList &paths) const
{
    QStringList result;
    for (const QString &path : paths)
        result.append(path.startsWith(root() + u'/') ? path.mid(root().size() + 1) : u"<outside> "_s + path);
    return result;
}

} // namespace pelmora::test
