#include "RunInvariants.h"

#include "FakeConverter.h"
#include "TestData.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::test {

namespace {

QByteArray digestOfFile(const QByteArray &path)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW);
    if (fd < 0)
        return "unreadable";
    char buffer[65536];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        hash.addData(QByteArrayView(buffer, got));
    ::close(fd);
    return hash.result().toHex();
}

void snapshot(const QByteArray &root, const QByteArray &relative, QMap<QByteArray, QByteArray> &entries)
{
    const QByteArray path = relative.isEmpty() ? root : root + '/' + relative;
    struct stat info
    {
    };
    if (::lstat(path.constData(), &info) != 0) {
        entries.insert(relative, "missing");
        return;
    }
    QByteArray entry = QByteArray::number(info.st_mode, 8) + ' ';
    if (S_ISREG(info.st_mode)) {
        entry += QByteArray::number(qint64(info.st_size)) + ' ' + digestOfFile(path);
    } else if (S_ISLNK(info.st_mode)) {
        QByteArray target(4096, '\0');
        const ssize_t size = ::readlink(path.constData(), target.data(), target.size());
        entry += target.left(std::max<ssize_t>(size, 0));
    }
    entries.insert(relative, entry);
    if (!S_ISDIR(info.st_mode))
        return;
    DIR *dir = ::opendir(path.constData());
    if (!dir)
        return;
    QList<QByteArray> names;
    while (const dirent *item = ::readdir(dir)) {
        const QByteArray name(item->d_name);
        if (name != "." && name != "..")
            names.append(name);
    }
    ::closedir(dir);
    for (const QByteArray &name : names)
        snapshot(root, relative.isEmpty() ? name : relative + '/' + name, entries);
}

QList<qint64> stillRunning(const QList<qint64> &pids)
{
    QList<qint64> running;
    for (qint64 pid : pids) {
        if (ProcessIsRunning(pid))
            running.append(pid);
    }
    return running;
}

QString listed(const QList<qint64> &pids)
{
    QStringList words;
    for (qint64 pid : pids)
        words.append(QString::number(pid));
    return words.join(u' ');
}

} // namespace

QMap<QByteArray, QByteArray> TreeSnapshot(const QString &root)
{
    QMap<QByteArray, QByteArray> entries;
    snapshot(QFile::encodeName(root), QByteArray(), entries);
    return entries;
}

bool ProcessIsRunning(qint64 pid)
{
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    // "pid (name) state ...": the name may hold anything, so look after its last ")".
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && close + 2 < line.size() && line[close + 2] != 'Z' && line[close + 2] != 'X';
}

QList<qint64> RunningChildren()
{
    QList<qint64> children;
    const QString self = QString::number(QCoreApplication::applicationPid());
    const QStringList processes = QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : processes) {
        bool numeric = false;
        const qint64 pid = name.toLongLong(&numeric);
        QFile stat(u"/proc/"_s + name + u"/stat"_s);
        if (!numeric || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1] == self.toLatin1() && ProcessIsRunning(pid))
            children.append(pid);
    }
    return children;
}

QList<qint64> ProcessTree(qint64 root)
{
    const auto parentOf = [](const QString &pid) {
        QFile stat(u"/proc/"_s + pid + u"/stat"_s);
        const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        return fields.size() > 1 ? fields[1].toLongLong() : 0;
    };
    QList<qint64> tree{root};
    for (bool grew = true; grew;) {
        grew = false;
        for (const QString &name : QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            bool numeric = false;
            const qint64 pid = name.toLongLong(&numeric);
            if (numeric && !tree.contains(pid) && tree.contains(parentOf(name))) {
                tree.append(pid);
                grew = true;
            }
        }
    }
    return tree;
}

namespace {

// Tests run side by side, each with a temporary folder of its own; what this test
// started, directly or through a command, was started under that folder.
bool StartedByThisTest(const QString &pid)
{
    const QByteArray ours = qgetenv("TMPDIR");
    if (ours.isEmpty())
        return true;
    QFile environ(u"/proc/"_s + pid + u"/environ"_s);
    if (!environ.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &entry : environ.readAll().split('\0')) {
        if (entry.startsWith("TMPDIR="))
            return entry.sliced(7).startsWith(ours);
    }
    return false;
}

} // namespace

QList<qint64> RunningWorkers()
{
    QStringList programs{QFileInfo(FakeConverter::workerProgram()).canonicalFilePath()};
    for (const QString &engine : EngineNames())
        programs << QFileInfo(ServiceProgram(engine)).canonicalFilePath();
    QList<qint64> workers;
    const QStringList processes = QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : processes) {
        bool numeric = false;
        const qint64 pid = name.toLongLong(&numeric);
        if (numeric && programs.contains(QFileInfo(u"/proc/"_s + name + u"/exe"_s).symLinkTarget()) &&
            ProcessIsRunning(pid) && StartedByThisTest(name))
            workers.append(pid);
    }
    return workers;
}

RunInvariants::RunInvariants(const QString &inputRoot, const FakeConverter *fake)
    : m_inputRoot(inputRoot), m_fake(fake), m_before(TreeSnapshot(inputRoot)),
      m_workersBefore(RunningWorkers())
{
}

QString RunInvariants::violations() const
{
    QStringList broken;
    const QMap<QByteArray, QByteArray> after = TreeSnapshot(m_inputRoot);
    if (after != m_before) {
        QStringList changed;
        for (auto it = m_before.cbegin(); it != m_before.cend(); ++it) {
            if (after.value(it.key()) != it.value())
                changed.append(QString::fromLatin1(it.key().toPercentEncoding("/ ")));
        }
        for (auto it = after.cbegin(); it != after.cend(); ++it) {
            if (!m_before.contains(it.key()))
                changed.append(u"new "_s + QString::fromLatin1(it.key().toPercentEncoding("/ ")));
        }
        broken.append(u"input tree changed: "_s + changed.join(u", "_s));
    }

    const auto newWorkers = [this] {
        QList<qint64> workers = RunningWorkers();
        workers.removeIf([this](qint64 pid) { return m_workersBefore.contains(pid); });
        return workers;
    };
    QList<qint64> converters = m_fake ? stillRunning(m_fake->loggedPids()) : QList<qint64>();
    converters += newWorkers();
    QList<qint64> children = RunningChildren();
    const QDeadlineTimer patience(2000);
    while ((!converters.isEmpty() || !children.isEmpty()) && !patience.hasExpired()) {
        QThread::msleep(20);
        converters = stillRunning(converters);
        children = RunningChildren();
    }
    if (!converters.isEmpty())
        broken.append(u"converter processes still running: "_s + listed(converters));
    if (!children.isEmpty())
        broken.append(u"child processes still running: "_s + listed(children));
    return broken.join(u"; "_s);
}

} // namespace pelmora::test
