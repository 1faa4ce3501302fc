#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace pelmora {

// The lines of a converted text file, without their line ends (LF, CR LF or CR).
// An empty or unreadable file gives no lines.
QList<QByteArray> ReadFileToStringFSOLine(const QString &path);

// True when text holds at most five readable bytes (32..126, 160..255) in all and at
// least one unreadable one (0..31, 127..159), line ends not counted: a scanned image.
bool IsUnreadableText(QByteArrayView text);

// IsUnreadableText of the file at `path`.
bool NoTextPDF(const QString &path);

// The whole file as text for display: UTF-8 (the converter's output), with bytes
// that are not valid UTF-8 taken as Latin-1.
QString ReadWholeFile(const QString &path);

} // namespace pelmora
