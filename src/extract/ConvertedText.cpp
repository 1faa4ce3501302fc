#include "extract/ConvertedText.h"

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

// The length of the well-formed UTF-8 sequence at `i`, or 0 when the byte there starts none
// (Unicode table 3-7: no overlong forms, no surrogates, nothing beyond U+10FFFF).
qsizetype wellFormedLength(QByteArrayView bytes, qsizetype i)
{
    const auto at = [&](qsizetype k) {
        return i + k < bytes.size() ? static_cast<unsigned char>(bytes[i + k]) : 0;
    };
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

// Counts readable bytes across blocks of one text, up to the sixth, which settles it.
class Readability
{
public:
    void examine(QByteArrayView bytes)
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
    bool settled() const { return m_readable > 5; }
    bool unreadable() const { return !settled() && m_sawUnreadable; }

private:
    int m_readable = 0;
    bool m_sawUnreadable = false;
};

} // namespace

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
    Readability readability;
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
    Readability readability;
    qint64 got = 0;
    while (!readability.settled() && (got = file.read(block.data(), block.size())) > 0)
        readability.examine(QByteArrayView(block.constData(), got));
    return readability.unreadable();
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
