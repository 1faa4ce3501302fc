// Checks the unreadable-text test over arbitrary bytes against the documented rule: read
// the lines (ends LF, CR LF or CR, not part of any line), then walk the characters; an unreadable one (0..31,
// 127..159) marks the text, and the sixth readable one (32..126, 160..255) makes it readable at once.

#include "extract/ConvertedText.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> referenceLines(const std::string &bytes)
{
    std::vector<std::string> lines;
    std::string line;
    bool open = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            open = false;
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            line += c;
            open = true;
        }
    }
    if (open)
        lines.push_back(line);
    return lines;
}

bool referenceUnreadable(const std::vector<std::string> &lines)
{
    bool answer = false;
    int readable = 0;
    for (const std::string &line : lines) {
        for (const char byte : line) {
            const int code = static_cast<unsigned char>(byte);
            if (code <= 31 || (code >= 127 && code <= 159)) {
                answer = true;
            } else if (++readable > 5) {
                return false;
            }
        }
    }
    return answer;
}

[[noreturn]] void mismatch(const char *what, const std::string &bytes, bool engine, bool reference)
{
    std::fprintf(stderr, "MISMATCH in %s for %zu bytes: engine %d, reference %d\n", what, bytes.size(),
                 engine, reference);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    const std::vector<std::string> lines = referenceLines(bytes);
    const bool expected = referenceUnreadable(lines);

    pelmora::TextReadability readability;
    readability.examine(QByteArrayView(bytes.data(), static_cast<qsizetype>(size)));
    if (readability.unreadable() != expected)
        mismatch("TextReadability", bytes, readability.unreadable(), expected);

    // The preview shows any bytes; plain ASCII reads back unchanged.
    const QString shown = pelmora::DisplayText(QByteArrayView(bytes.data(), static_cast<qsizetype>(size)));
    if (shown.size() > static_cast<qsizetype>(size))
        std::abort();
    bool ascii = true;
    for (const char byte : bytes)
        ascii = ascii && static_cast<unsigned char>(byte) < 0x80;
    if (ascii && shown != QLatin1StringView(bytes.data(), static_cast<qsizetype>(size)))
        std::abort();
    return 0;
}
