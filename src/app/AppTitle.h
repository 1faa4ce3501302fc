#pragma once

#include <QString>

namespace pelmora {

inline QString ProductName()
{
    return QStringLiteral("Pelmora");
}

// The product name shortened word by word: its last word goes, then further last
// words while it is longer than 40 characters. A name of one word stays whole.
QString MakeAppTitle(const QString &productName);

// The title of message boxes that give none of their own.
QString AppTitle();

} // namespace pelmora
