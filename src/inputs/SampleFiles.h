#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace pelmora {

// The key that scrambles the recorded sample list; the same key unscrambles it.
QString SampleKey();

// Shifts each byte by the key's byte at the same place, the key repeating: codes run
// from 1 to 255, so no byte becomes 0 and the length is kept. Unscrambling gives back
// every byte but 0.
QByteArray ScrambleBytes(const QByteArray &bytes, const QByteArray &key);
QByteArray UnscrambleBytes(const QByteArray &bytes, const QByteArray &key);

// Texts are scrambled as their UTF-8 bytes; the scrambled text holds one character per
// byte (Latin-1), which the settings store keeps as it is.
QString ScrambleText(const QString &text, const QString &key);
QString UnscrambleText(const QString &scrambled, const QString &key);

// "<program folder>/Samples"
QString SampleFolder(const QString &programFolder);

// The full paths of the files now in the sample folder, in listing order, joined with
// "|"; empty when the folder is empty or missing.
QString SampleListText(const QString &programFolder);

// The recorded sample paths from a stored (scrambled) list; none for empty text.
QStringList RecordedSamples(const QString &snapshot);

} // namespace pelmora
