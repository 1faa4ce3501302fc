#include "extract/ConvertedText.h"

#include "core/DrawnUnderscore.h"
#include "core/Utf8.h"

#include <QStringDecoder>

namespace pelmora {

namespace {

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
    // A person reads a drawn underscore as the underscore it is.
    return text.replace(QChar(char16_t(kDrawnUnderscore)), u'_');
}

} // namespace pelmora
