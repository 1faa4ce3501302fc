#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace pelmora {

// Runs the converter `program` with one question (--ocr-languages, --version) and
// returns what it wrote on standard output (with `alsoErrors`, on standard error too, as
// where pdftotext -v writes); nullopt when it did not start, crashed or took longer
// than half a minute.
std::optional<QByteArray> AskConverter(const QString &program, const QStringList &question,
                                       bool alsoErrors = false);
inline std::optional<QByteArray> AskConverter(const QString &program, const QString &question)
{
    return AskConverter(program, QStringList{question});
}

} // namespace pelmora
