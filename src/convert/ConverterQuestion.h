#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace pelmora {

// Runs the converter `program` with one question (--ocr-languages, --version) and
// returns what it wrote on standard output; nullopt when it did not start, crashed or
// took longer than half a minute.
std::optional<QByteArray> AskConverter(const QString &program, const QString &question);

} // namespace pelmora
