#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace pelmora {

// Judges one text given in pieces, as it arrives: readable bytes are 32..126 and
// 160..255, unreadable ones 0..31 and 127..159, line ends (CR, LF) neither. The sixth
// readable byte settles it; nothing after it is looked at.
class TextReadability
{
public:
    void examine(QByteArrayView bytes);
    // Six readable bytes or more: readable, whatever follows.
    bool settled() const { return m_readable > 5; }
    // At most five readable bytes and at least one unreadable one: a scanned image.
    bool unreadable() const { return !settled() && m_sawUnreadable; }

private:
    int m_readable = 0;
    bool m_sawUnreadable = false;
};

// Converted text for display: UTF-8 (the converter's output), with bytes that are not
// valid UTF-8 taken as Latin-1, and a drawn underscore (kDrawnUnderscore) as "_".
QString DisplayText(QByteArrayView bytes);

} // namespace pelmora
