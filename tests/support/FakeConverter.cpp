#include "FakeConverter.h"

#include <QDir>
#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::test {

namespace {

const char kScript[] = R"SH(#!/bin/sh
here="$(dirname "$(readlink -f "$0")")"
echo "$$ $*" >> "$here/calls.log"
echo "$$" >> "$here/pids.log"
# Runs a helper process, logged like the converter itself, and waits for it.
helper() { "$@" & echo "$!" >> "$here/pids.log"; wait "$!"; }
while [ $# -gt 2 ]; do
  case "$1" in
    -f|-l) shift 2 ;;
    *) shift ;;
  esac
done
pdf="$1"; out="$2"
[ -f "$pdf" ] || exit 1
first=$(head -n 1 "$pdf")
case "$first" in
  "NEEDS "*) echo "Command Line Error: Incorrect password" >&2; exit 1 ;;
  "SLEEP "*) helper sleep "${first#SLEEP }" ;;
  NOTHING) exit 1 ;;
  HANG) helper sleep infinity ;;
  WAIT) while [ ! -e "$pdf.go" ]; do sleep 0.01; done ;;
  "CRASH "*) tail -n +2 "$pdf" | head -c "${first#CRASH }" > "$out"; ulimit -c 0; kill -SEGV $$ ;;
  "NOISY "*)
    bytes=$((${first#NOISY } * 1048576))
    head -c "$bytes" /dev/zero | tr '\000' 'e' >&2
    head -c "$bytes" /dev/zero | tr '\000' 'o' ;;
esac
tail -n +2 "$pdf" > "$out"
)SH";

} // namespace

FakeConverter::FakeConverter()
    : m_oldPath(qgetenv("PATH")), m_oldCalls(qgetenv("PELMORA_FAKE_CALLS")),
      m_oldPids(qgetenv("PELMORA_FAKE_PIDS"))
{
    // Where the stand-in worker logs; the script logs beside itself, to the same files.
    qputenv("PELMORA_FAKE_CALLS", QFile::encodeName(logFile()));
    qputenv("PELMORA_FAKE_PIDS", QFile::encodeName(m_folder.filePath(u"bin/pids.log"_s)));
    const QString bin = m_folder.filePath(u"bin"_s);
    QDir().mkpath(bin);
    QFile script(bin + u"/pdftotext"_s);
    script.open(QIODevice::WriteOnly);
    script.write(kScript);
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("PATH", QFile::encodeName(bin) + ':' + m_oldPath);
}

FakeConverter::~FakeConverter()
{
    // Put back only while ours: a test that replaces its fixture makes the new stand-in
    // before the old one goes.
    if (qgetenv("PELMORA_FAKE_CALLS") != QFile::encodeName(logFile()))
        return;
    qputenv("PATH", m_oldPath);
    qputenv("PELMORA_FAKE_CALLS", m_oldCalls);
    qputenv("PELMORA_FAKE_PIDS", m_oldPids);
}

QString FakeConverter::workerProgram()
{
    return QStringLiteral(PELMORA_FAKE_WORKER);
}

QString FakeConverter::logFile() const
{
    return m_folder.filePath(u"bin/calls.log"_s);
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
    QFile log(m_folder.filePath(u"bin/pids.log"_s));
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
