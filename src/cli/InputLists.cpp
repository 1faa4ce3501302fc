#include "cli/InputLists.h"

#include "core/AppError.h"
#include "core/NativePath.h"
#include "core/Utf8.h"

#include <QFile>

#include <climits>
#include <functional>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

struct ListShape
{
    QString what;      // "The password file", as a message begins
    QString entries;   // what it holds: "lines"
    qsizetype most;    // entries, empty ones included
    qsizetype longest; // bytes of one entry
    char separator;
};

// Opens `path` ("-": standard input, when `stdinToo`).
void openList(QFile &file, const QString &path, const ListShape &shape, bool stdinToo = false)
{
    const bool opened = stdinToo && path == u"-"_s ? file.open(stdin, QIODevice::ReadOnly)
                                                   : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened)
        throw AppError(shape.what + u' ' + path + u" cannot be read: "_s + file.errorString());
}

// Hands every entry of the open list to `take`, in order, the last one even without its
// separator; throws before an entry or the count passes the shape's bounds.
void readEntries(QFile &file, const QString &path, const ListShape &shape,
                 const std::function<void(QByteArray &entry)> &take)
{
    constexpr qint64 kPiece = 64 * 1024;
    QByteArray entry;
    qsizetype count = 0;
    const auto finish = [&] {
        if (++count > shape.most)
            throw AppError(shape.what + u' ' + path + u" holds more than "_s + QString::number(shape.most) +
                           u' ' + shape.entries + u", the most one run takes. Split it over several runs."_s);
        take(entry);
        entry.clear();
    };
    for (;;) {
        const QByteArray piece = file.read(kPiece);
        if (piece.isEmpty()) {
            if (file.error() != QFileDevice::NoError)
                throw AppError(shape.what + u' ' + path + u" cannot be read: "_s + file.errorString());
            break;
        }
        qsizetype from = 0;
        for (qsizetype end; (end = piece.indexOf(shape.separator, from)) >= 0; from = end + 1) {
            entry += QByteArrayView(piece).sliced(from, end - from);
            if (entry.size() <= shape.longest)
                finish();
            else
                break;
        }
        if (from < piece.size() && entry.size() <= shape.longest)
            entry += QByteArrayView(piece).sliced(from);
        if (entry.size() > shape.longest)
            throw AppError(shape.what + u' ' + path + u" has an entry longer than "_s +
                           QString::number(shape.longest) + u" bytes (entry "_s + QString::number(count + 1) +
                           u"); is it the list meant?"_s);
    }
    if (!entry.isEmpty())
        finish();
}

} // namespace

QString PasswordFromBytes(QByteArrayView bytes)
{
    return IsUtf8(bytes) ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
}

QStringList ReadPasswordFile(const QString &path)
{
    // Long passwords are kept whole; no PDF takes one of more than a few hundred bytes.
    const ListShape shape{u"The password file"_s, u"lines"_s, kMostPasswords, 4096, '\n'};
    QFile file;
    openList(file, path, shape);
    QStringList passwords;
    readEntries(file, path, shape, [&](QByteArray &line) {
        while (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            passwords.append(PasswordFromBytes(line));
    });
    return passwords;
}

QStringList ReadInputList(const QString &path, bool nullSeparated)
{
    const ListShape shape{u"The list of files"_s, u"names"_s, kMostListedInputs, PATH_MAX,
                          nullSeparated ? '\0' : '\n'};
    QFile file;
    openList(file, path, shape, true);
    QStringList inputs;
    readEntries(file, path, shape, [&](QByteArray &entry) {
        if (!nullSeparated && entry.endsWith('\r'))
            entry.chop(1);
        if (!entry.isEmpty())
            inputs.append(PathFromNative(entry));
    });
    return inputs;
}

QStringList ReadDomainPatterns(const QString &value)
{
    if (!value.startsWith(u'@'))
        return {value};
    const QString path = value.sliced(1);
    const ListShape shape{u"The list of domains"_s, u"lines"_s, kMostPatterns, 4096, '\n'};
    QFile file;
    openList(file, path, shape);
    QStringList patterns;
    readEntries(file, path, shape, [&](const QByteArray &line) {
        const QString pattern = QString::fromUtf8(line).trimmed();
        if (!pattern.isEmpty() && !pattern.startsWith(u'#'))
            patterns.append(pattern);
    });
    if (patterns.isEmpty())
        throw AppError(shape.what + u' ' + path + u" holds no pattern."_s);
    return patterns;
}

} // namespace pelmora
