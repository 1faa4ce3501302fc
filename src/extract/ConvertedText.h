#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace pelmora {

// The lines of a converted text file, without their line ends (LF, CR LF or CR).
// An empty or unreadable file gives no lines.
QList<QByteArray> ReadFileToStringFSOLine(const QString &path);

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

// True when text holds at most five readable bytes (32..126, 160..255) in all and at
// least one unreadable one (0..31, 127..159), line ends not counted: a scanned image.
bool IsUnreadableText(QByteArrayView text);

// IsUnreadableText of the file at `path`.
bool NoTextPDF(const QString &path);

// The whole file as text for display: UTF-8 (the converter's output), with bytes
// that are not valid UTF-8 taken as Latin-1.
QString ReadWholeFile(const QString &path);
// The same for text in memory.
QString DisplayText(QByteArrayView bytes);

} // namespace pelmora
