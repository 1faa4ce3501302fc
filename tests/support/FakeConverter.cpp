#include "FakeConverter.h"

#include <QDir>
#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace pelmora::test {

namespace {

const char kScript[] = R"SH(#!/bin/sh
echo "$$ $*" >> "$(dirname "$(readlink -f "$0")")/calls.log"
upw=""
while [ $# -gt 2 ]; do
  case "$1" in
    -upw) upw="$2"; shift 2 ;;
    -opw|-f|-l) shift 2 ;;
    *) shift ;;
  esac
done
pdf="$1"; out="$2"
[ -f "$pdf" ] || exit 1
first=$(head -n 1 "$pdf")
case "$first" in
  "NEEDS "*) [ "$upw" = "${first#NEEDS }" ] || exit 1 ;;
  "OWNER "*) [ -z "$upw" ] || [ "$upw" = "${first#OWNER }" ] || exit 1 ;;
  "SLEEP "*) sleep "${first#SLEEP }" ;;
  NOTHING) exit 1 ;;
esac
tail -n +2 "$pdf" > "$out"
)SH";

} // namespace

FakeConverter::FakeConverter() : m_oldPath(qgetenv("PATH"))
{
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
    qputenv("PATH", m_oldPath);
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

QString FakeConverter::writePdf(const QString &name, const QString &directive, const QByteArray &text) const
{
    const QString path = m_folder.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(directive.toUtf8() + '\n' + text);
    return path;
}

} // namespace pelmora::test
