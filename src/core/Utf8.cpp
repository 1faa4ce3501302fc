#include "core/Utf8.h"

namespace pelmora {

qsizetype Utf8SequenceLength(QByteArrayView bytes, qsizetype i)
{
    const auto at = [&](qsizetype k) { return i + k < bytes.size() ? uchar(bytes[i + k]) : uchar(0); };
    const auto tail = [](uchar c) { return c >= 0x80 && c <= 0xBF; };
    const uchar lead = at(0);
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return tail(at(1)) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const uchar low = lead == 0xE0 ? 0xA0 : 0x80;
        const uchar high = lead == 0xED ? 0x9F : 0xBF;
        return at(1) >= low && at(1) <= high && tail(at(2)) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const uchar low = lead == 0xF0 ? 0x90 : 0x80;
        const uchar high = lead == 0xF4 ? 0x8F : 0xBF;
        return at(1) >= low && at(1) <= high && tail(at(2)) && tail(at(3)) ? 4 : 0;
    }
    return 0;
}

bool IsUtf8(QByteArrayView bytes)
{
    for (qsizetype i = 0, length; i < bytes.size(); i += length) {
        if ((length = Utf8SequenceLength(bytes, i)) == 0)
            return false;
    }
    return true;
}

} // namespace pelmora
