#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace pelmora {

// The two results files. Every address is ASCII, each character one byte; lines end
// with CR LF and there is no byte-order mark, header or count.
enum class ResultsFormat
{
    LineList,  // each address, CR LF; no addresses: 0 bytes
    CommaList, // each address and ",", then one CR LF; no addresses: CR LF only
};

QByteArray LineListBytes(const QStringList &addresses);
QByteArray CommaListBytes(const QStringList &addresses);
QByteArray ResultsBytes(const QStringList &addresses, ResultsFormat format);

// Replaces `path` with `bytes` whole: written beside it first and renamed over it, so a
// failure leaves the old file exactly as it was and never a half-written one.
// Throws AppError, once, with words for the user.
void WriteFileAtomically(const QString &path, const QByteArray &bytes);

// The results file of `addresses` written to `path` as above.
void SaveResults(const QString &path, const QStringList &addresses, ResultsFormat format);

} // namespace pelmora
