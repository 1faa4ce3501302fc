#include "extract/ConvertedText.h"

#include "core/Utf8.h"

#include <QFile>
#include <QStringDecoder>

#include <cstring>

namespace pelmora {

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool isReadable(unsigned char c)
{
    return (c >= 32 && c <= 126) || c >= 160;
}

} // namespace

void TextReadability::examine(QByteArrayView bytes)
{
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (c == '\r' || c == '\n')
            continue; // line ends belong to no line
        if (!isReadable(c))
            m_sawUnreadable = true;
        else if (++m_readable > 5)
            return;
    }
}

QList<QByteArray> ReadFileToStringFSOLine(const QString &path)
{
    const QByteArray text = readAll(path);
    QList<QByteArray> lines;
    lines.reserve(text.count('\n') + 1);
    const char *p = text.constData();
    const char *const end = p + text.size();
    // Converted text ends its lines with LF; a CR, alone or before LF, is looked for
    // only up to the next LF, which is remembered so that CR-only text stays linear.
    const char *lf = nullptr;
    while (p < end) {
        if (!lf || lf < p) {
            lf = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
            lf = lf ? lf : end;
        }
        const char *lineEnd = lf;
        const char *next = lf < end ? lf + 1 : end;
        if (const auto *cr = static_cast<const char *>(std::memchr(p, '\r', size_t(lf - p)))) {
            lineEnd = cr;
            if (cr + 1 != lf) // CR LF is one line end
                next = cr + 1;
        }
        lines.append(QByteArray(p, lineEnd - p));
        p = next;
    }
    return lines;
}

bool IsUnreadableText(QByteArrayView text)
{
    TextReadability readability;
    readability.examine(text);
    return readability.unreadable();
}

bool NoTextPDF(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // Read once, in blocks, and only as far as the answer needs.
    QByteArray block(qsizetype(64) * 1024, Qt::Uninitialized);
    TextReadability readability;
    qint64 got = 0;
    while (!readability.settled() && (got = file.read(block.data(), block.size())) > 0)
        readability.examine(QByteArrayView(block.constData(), got));
    return readability.unreadable();
}

QString ReadWholeFile(const QString &path)
{
    return DisplayText(readAll(path));
}

QString DisplayText(QByteArrayView bytes)
{
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF"))
        view = view.sliced(3); // a leading byte order mark is not text
    // Only U+FEFF at the very start is a byte order mark; later ones are kept.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    QString text;
    text.reserve(view.size());
    qsizetype run = 0; // start of the pending well-formed stretch
    qsizetype i = 0;
    while (i < view.size()) {
        if (const qsizetype length = Utf8SequenceLength(view, i)) {
            i += length;
            continue;
        }
        text += utf8(view.sliced(run, i - run));
        text += QLatin1Char(view[i]); // Latin-1, not U+FFFD
        run = ++i;
    }
    text += utf8(view.sliced(run));
    return text;
}

} // namespace pelmora
