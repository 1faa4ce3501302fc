#pragma once

#include <QString>

namespace pelmora::test {

// A file of the committed test data (tests/data), by name.
QString dataFile(const QString &name);

} // namespace pelmora::test
