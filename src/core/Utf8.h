#pragma once

#include <QByteArrayView>

namespace pelmora {

// The length of the well-formed UTF-8 sequence at `i`, or 0 when the byte there starts
// none (Unicode table 3-7: no overlong forms, no surrogates, nothing beyond U+10FFFF).
qsizetype Utf8SequenceLength(QByteArrayView bytes, qsizetype i);

// True when `bytes` are well-formed UTF-8 from end to end.
bool IsUtf8(QByteArrayView bytes);

} // namespace pelmora
