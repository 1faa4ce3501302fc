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

// The length of the well-formed UTF-8 sequence at `i`, or 0 when the byte there starts none
// (Unicode table 3-7: no overlong forms, no surrogates, nothing beyond U+10FFFF).
qsizetype wellFormedLength(QByteArrayView bytes, qsizetype i)
{
    const auto at = [&](qsizetype k) { return i + k < bytes.size() ? static_cast<unsigned char>(bytes[i + k]) : 0; };
    const auto tail = [](unsigned char c) { return c >= 0x80 && c <= 0xBF; };
    const unsigned char lead = at(0);
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return tail(at(1)) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
        return at(1) >= low && at(1) <= high && tail(at(2)) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
        return at(1) >= low && at(1) <= high && tail(at(2)) && tail(at(3)) ? 4 : 0;
    }
    return 0;
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
        if (const qsizetype length = wellFormedLength(view, i)) {
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
