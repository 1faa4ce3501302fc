#include "FakeConverter.h"

#include <QDir>
#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::test {

FakeConverter::FakeConverter()
    : m_oldCalls(qgetenv("PELMORA_FAKE_CALLS")), m_oldPids(qgetenv("PELMORA_FAKE_PIDS"))
{
    // Where the stand-in worker logs.
    qputenv("PELMORA_FAKE_CALLS", QFile::encodeName(logFile()));
    qputenv("PELMORA_FAKE_PIDS", QFile::encodeName(m_folder.filePath(u"pids.log"_s)));
}

FakeConverter::~FakeConverter()
{
    // Put back only while ours: a test that replaces its fixture makes the new stand-in
    // before the old one goes.
    if (qgetenv("PELMORA_FAKE_CALLS") != QFile::encodeName(logFile()))
        return;
    qputenv("PELMORA_FAKE_CALLS", m_oldCalls);
    qputenv("PELMORA_FAKE_PIDS", m_oldPids);
}

QString FakeConverter::workerProgram()
{
    return QStringLiteral(PELMORA_FAKE_WORKER);
}

QString FakeConverter::logFile() const
{
    return m_folder.filePath(u"calls.log"_s);
}

QStringList FakeConverter::loggedCalls() const
{
    QFile log(logFile());
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

QList<qint64> FakeConverter::loggedPids() const
{
    QFile log(m_folder.filePath(u"pids.log"_s));
    QList<qint64> pids;
    if (log.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : log.readAll().split('\n')) {
            if (!line.isEmpty())
                pids.append(line.toLongLong());
        }
    }
    return pids;
}

bool FakeConverter::release(const QString &pdf)
{
    QFile go(pdf + u".go"_s);
    return go.open(QIODevice::WriteOnly);
}

QString FakeConverter::writePdf(const QString &name, const QString &directive, const QByteArray &text) const
{
    return writePdfIn(m_folder.path(), name, directive, text);
}

QString FakeConverter::writePdfIn(const QString &folder, const QString &name, const QString &directive,
                                  const QByteArray &text)
{
    QString path = QDir(folder).filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(directive.toUtf8() + '\n' + text);
    return path;
}

} // namespace pelmora::test
