#include "FolderTree.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <ranges>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::test {

namespace {

bool made(bool ok, const QString &what)
{
    if (!ok)
        qWarning("could not make %s", qPrintable(what));
    return ok;
}

} // namespace

FolderTree::FolderTree() = default;

FolderTree::~FolderTree()
{
    for (const QByteArray &path : std::views::reverse(m_raw)) // contents before their folders
        ::remove(path.constData());
}

QString FolderTree::path(const QString &relative) const
{
    return relative.isEmpty() ? root() : root() + u'/' + relative;
}

bool FolderTree::dirs(const QStringList &relatives) const
{
    for (const QString &relative : relatives) {
        if (!made(isValid() && QDir().mkpath(path(relative)), relative))
            return false;
    }
    return true;
}

bool FolderTree::files(const QStringList &relatives) const
{
    for (const QString &relative : relatives) {
        QFile file(path(relative));
        if (!made(isValid() && file.open(QIODevice::WriteOnly), relative))
            return false;
    }
    return true;
}

bool FolderTree::link(const QString &target, const QString &relative) const
{
    return made(isValid() && ::symlink(QFile::encodeName(target).constData(),
                                       QFile::encodeName(path(relative)).constData()) == 0,
                relative);
}

bool FolderTree::rawFile(const QByteArray &relative)
{
    const QByteArray full = QFile::encodeName(root()) + '/' + relative;
    const int fd = ::open(full.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        ::close(fd);
        m_raw.append(full);
    }
    return made(isValid() && fd >= 0, QString::fromLatin1(relative));
}

bool FolderTree::rawDir(const QByteArray &relative)
{
    const QByteArray full = QFile::encodeName(root()) + '/' + relative;
    const bool ok = ::mkdir(full.constData(), 0755) == 0;
    if (ok)
        m_raw.append(full);
    return made(isValid() && ok, QString::fromLatin1(relative));
}

QStringList FolderTree::relative(const QStringList &paths) const
{
    QStringList result;
    for (const QString &path : paths)
        result.append(path.startsWith(root() + u'/') ? path.mid(root().size() + 1) : u"<outside> "_s + path);
    return result;
}

} // namespace pelmora::test
