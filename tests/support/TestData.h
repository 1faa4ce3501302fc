#pragma once

#include <QByteArray>
#include <QString>

namespace pelmora::test {

// A file of the committed test data (tests/data), by name.
QString dataFile(const QString &name);

// The bytes of a file; "<unreadable>" when it cannot be read.
QByteArray readFile(const QString &path);
// Writes the whole file; false, with a warning, when it could not.
[[nodiscard]] bool writeFile(const QString &path, const QByteArray &bytes);

} // namespace pelmora::test
