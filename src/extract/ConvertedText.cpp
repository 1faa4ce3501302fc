#include "extract/ConvertedText.h"

#include <QFile>
#include <QStringDecoder>

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

QList<QByteArray> ReadFileToStringFSOLine(const QString &path)
{
    const QByteArray text = readAll(path);
    QList<QByteArray> lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char c = text[i];
        if (c != '\n' && c != '\r')
            continue;
        lines.append(text.sliced(start, i - start));
        if (c == '\r' && i + 1 < size && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines.append(text.sliced(start));
    return lines;
}

bool IsUnreadableText(QByteArrayView text)
{
    int readable = 0;
    bool unreadable = false;
    for (const char byte : text) {
        const auto c = static_cast<unsigned char>(byte);
        if (c == '\r' || c == '\n')
            continue; // line ends belong to no line
        if (!isReadable(c))
            unreadable = true;
        else if (++readable > 5)
            return false;
    }
    return unreadable;
}

bool NoTextPDF(const QString &path)
{
    return IsUnreadableText(readAll(path));
}

QString ReadWholeFile(const QString &path)
{
    const QByteArray bytes = readAll(path);
    QStringDecoder whole(QStringDecoder::Utf8);
    QString text = whole(bytes);
    if (!whole.hasError())
        return text;
    text.clear();
    text.reserve(bytes.size());
    // Valid UTF-8 runs decode as such; a byte that breaks UTF-8 is taken as Latin-1.
    qsizetype i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        if (length > 1 && i + length <= bytes.size()) {
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString decoded = utf8(QByteArrayView(bytes).sliced(i, length));
            if (!utf8.hasError() && !decoded.contains(QChar::ReplacementCharacter)) {
                text += decoded;
                i += length;
                continue;
            }
        }
        text += QLatin1Char(static_cast<char>(lead));
        ++i;
    }
    return text;
}

} // namespace pelmora
