#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace pelmora {

// File names are bytes to the system and text to the program. Names that are not valid
// UTF-8 would lose their odd bytes in Qt's own decoding, so they are decoded here with
// each such byte kept as a lone surrogate U+DC80..U+DCFF, and encoded back to the same
// bytes: every name the system can hold makes a row that names that same file.

QString PathFromNative(QByteArrayView bytes);
QByteArray NativePath(const QString &path);

// True when the path holds such a kept byte, so that only NativePath() can name it.
bool HasRawBytes(const QString &path);

// `text` fit for a terminal or a message: control characters (C0, DEL, C1, and kept bytes
// 0x80..0x9F, which a terminal of one byte per character takes for C1) written as "\n",
// "\r", "\t" or "\xHH", so that a name cannot begin a line of its own or steer the terminal.
QString Printable(const QString &text);

} // namespace pelmora
