#include "FolderTree.h"

#include <QDir>
#include <QFile>

#include <climits>
#include <cstdio>
#include <ranges>

#include <fcntl.h>
#include <sys/fsuid.h>
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

namespace {

const QByteArray kChainName(200, 'd');

} // namespace

FolderTree::~FolderTree()
{
    for (const Chain &chain : std::as_const(m_chains)) {
        for (qsizetype i = chain.levels.size() - 1; i > 0; --i) {
            ::unlinkat(chain.levels[i], chain.file.constData(), 0);
            ::close(chain.levels[i]);
            ::unlinkat(chain.levels[i - 1], kChainName.constData(), AT_REMOVEDIR);
        }
        ::close(chain.levels.first());
    }
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

int FolderTree::deepChain(const QString &relative, const QByteArray &file)
{
    const QByteArray start = QFile::encodeName(path(relative));
    Chain &chain = m_chains.emplace_back();
    chain.file = file;
    chain.levels.append(::open(start.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!made(chain.levels.last() >= 0, relative))
        return -1;
    qsizetype length = start.size();
    int reachable = 0;
    while (length < PATH_MAX + 600) {
        const int parent = chain.levels.last();
        if (!made(::mkdirat(parent, kChainName.constData(), 0755) == 0, u"a deep folder"_s))
            return -1;
        const int level = ::openat(parent, kChainName.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (!made(level >= 0, u"a deep folder"_s))
            return -1;
        chain.levels.append(level);
        length += 1 + kChainName.size();
        const int fd = ::openat(level, file.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (!made(fd >= 0, u"a deep file"_s))
            return -1;
        ::close(fd);
        if (length + 1 + file.size() < PATH_MAX)
            ++reachable;
    }
    return reachable;
}

AsNobody::AsNobody() : m_root(::geteuid() == 0)
{
    constexpr unsigned kNobody = 65534;
    if (m_root) {
        ::setfsgid(kNobody);
        ::setfsuid(kNobody);
    }
}

AsNobody::~AsNobody()
{
    if (m_root) {
        ::setfsuid(0);
        ::setfsgid(0);
    }
}

QStringList FolderTree::relative(const QStringList &paths) const
{
    QStringList result;
    for (const QString &path : paths)
        result.append(path.startsWith(root() + u'/') ? path.mid(root().size() + 1) : u"<outside> "_s + path);
    return result;
}

} // namespace pelmora::test
