#pragma once

#include <QByteArrayView>

namespace pelmora {

// Part of the converters' page text (convert/WorkerProtocol.h): an underscore that a
// converter reads from a short rule drawn in a word gap, as TeX draws one, is written as
// this private-use character, so that the address it completes can name the repair. It
// stands here, below both the converters and the address extraction, which read it. Text
// shown to a person shows a plain "_".
inline constexpr char32_t kDrawnUnderscore = 0xE05F;
inline constexpr QByteArrayView kDrawnUnderscoreUtf8("\xEE\x81\x9F", 3);

} // namespace pelmora
