#include "results/ResultsFile.h"

#include "core/AppError.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

qsizetype totalLength(const QStringList &addresses)
{
    qsizetype length = 0;
    for (const QString &address : addresses)
        length += address.size();
    return length;
}

// One byte per character. Addresses never hold anything but ASCII; should another
// character slip in, it still takes exactly one byte.
void appendBytes(QByteArray &out, const QString &text)
{
    const qsizetype at = out.size();
    out.resize(at + text.size());
    char *dest = out.data() + at;
    for (const QChar c : text)
        *dest++ = c.unicode() < 0x100 ? static_cast<char>(c.unicode()) : '?';
}

[[noreturn]] void fail(const QString &path, const QString &why)
{
    throw AppError(u"The results could not be saved to "_s + QDir::toNativeSeparators(path) + u": "_s + why);
}

} // namespace

QByteArray LineListBytes(const QStringList &addresses)
{
    QByteArray out;
    out.reserve(totalLength(addresses) + 2 * addresses.size());
    for (const QString &address : addresses) {
        appendBytes(out, address);
        out.append("\r\n", 2);
    }
    return out;
}

QByteArray CommaListBytes(const QStringList &addresses)
{
    QByteArray out;
    out.reserve(totalLength(addresses) + addresses.size() + 2);
    for (const QString &address : addresses) {
        appendBytes(out, address);
        out.append(',');
    }
    out.append("\r\n", 2);
    return out;
}

QByteArray ResultsBytes(const QStringList &addresses, ResultsFormat format)
{
    return format == ResultsFormat::LineList ? LineListBytes(addresses) : CommaListBytes(addresses);
}

void WriteFileAtomically(const QString &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        throw AppError(u"The results could not be saved: no file name was given."_s);
    const QFileInfo target(path);
    if (target.isDir())
        fail(path, u"that name belongs to a folder."_s);
    if (!target.dir().exists())
        fail(path,
             u"the folder "_s + QDir::toNativeSeparators(target.absolutePath()) + u" does not exist."_s);

    QSaveFile file(path);
    // Unbuffered, so a failing write reports its own cause, not a later flush.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail(path, file.errorString() + u'.');
    // A short write says nothing; the next one fails with the cause (disk full, say).
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            const QString why = file.errorString();
            file.cancelWriting();
            fail(path, why + u'.');
        }
        done += written;
    }
    if (!file.commit())
        fail(path, file.errorString() + u'.');
}

void SaveResults(const QString &path, const QStringList &addresses, ResultsFormat format)
{
    WriteFileAtomically(path, ResultsBytes(addresses, format));
}

} // namespace pelmora
