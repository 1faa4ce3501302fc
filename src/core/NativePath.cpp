#include "core/NativePath.h"

#include "core/Utf8.h"

#include <QStringDecoder>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

constexpr char16_t kRawBase = 0xDC00; // U+DC80..U+DCFF for the bytes 0x80..0xFF

// The second half of a surrogate pair may fall in the same range: only a lone one
// stands for a byte.
bool isRaw(QStringView path, qsizetype i)
{
    const char16_t unit = path[i].unicode();
    return unit >= kRawBase + 0x80 && unit <= kRawBase + 0xFF && !(i > 0 && path[i - 1].isHighSurrogate());
}

// QString::fromUtf8() drops a byte order mark at the start of what it is given, and a
// name may begin with one, as may the run after a kept byte.
QString fromUtf8KeepingMarks(QByteArrayView bytes)
{
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decode(bytes);
}

} // namespace

QString PathFromNative(QByteArrayView bytes)
{
    QString path;
    path.reserve(bytes.size());
    qsizetype run = 0;
    for (qsizetype i = 0; i < bytes.size();) {
        if (const qsizetype length = Utf8SequenceLength(bytes, i)) {
            i += length;
            continue;
        }
        path += fromUtf8KeepingMarks(bytes.sliced(run, i - run));
        path += QChar(char16_t(kRawBase + uchar(bytes[i])));
        run = ++i;
    }
    path += fromUtf8KeepingMarks(bytes.sliced(run));
    return path;
}

QByteArray NativePath(const QString &path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype run = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!isRaw(path, i))
            continue;
        bytes += QStringView(path).sliced(run, i - run).toUtf8();
        bytes += char(path[i].unicode() - kRawBase);
        run = i + 1;
    }
    bytes += QStringView(path).sliced(run).toUtf8();
    return bytes;
}

bool HasRawBytes(const QString &path)
{
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (isRaw(path, i))
            return true;
    }
    return false;
}

QString Printable(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char16_t unit = text[i].unicode();
        if (isRaw(text, i))
            unit -= kRawBase;
        const bool control = unit < 0x20 || (unit >= 0x7F && unit <= 0x9F);
        if (!control) {
            out += text[i];
            continue;
        }
        switch (unit) {
        case u'\n':
            out += u"\\n"_s;
            break;
        case u'\r':
            out += u"\\r"_s;
            break;
        case u'\t':
            out += u"\\t"_s;
            break;
        default:
            out += u"\\x"_s + QString::number(unit, 16).rightJustified(2, u'0');
        }
    }
    return out;
}

} // namespace pelmora
