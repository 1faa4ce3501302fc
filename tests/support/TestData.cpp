#include "TestData.h"

namespace pelmora::test {

QString dataFile(const QString &name)
{
    return QStringLiteral(PELMORA_TEST_DATA "/") + name;
}

} // namespace pelmora::test
