#include "worker/shell/PdfObject.h"

#include <array>
#include <cstdint>

namespace pelmora::worker {

namespace {

// Form fields nest a few levels; a /Parent chain that loops ends here.
constexpr int kDeepestParent = 32;

// PDFDocEncoding where it differs from Latin-1 (ISO 32000, annex D); 0: undefined.
constexpr std::array<std::pair<unsigned char, char32_t>, 42> kPdfDocEncoding{{
    {0x18, 0x02D8}, {0x19, 0x02C7}, {0x1A, 0x02C6}, {0x1B, 0x02D9}, {0x1C, 0x02DD}, {0x1D, 0x02DB},
    {0x1E, 0x02DA}, {0x1F, 0x02DC}, {0x80, 0x2022}, {0x81, 0x2020}, {0x82, 0x2021}, {0x83, 0x2026},
    {0x84, 0x2014}, {0x85, 0x2013}, {0x86, 0x0192}, {0x87, 0x2044}, {0x88, 0x2039}, {0x89, 0x203A},
    {0x8A, 0x2212}, {0x8B, 0x2030}, {0x8C, 0x201E}, {0x8D, 0x201C}, {0x8E, 0x201D}, {0x8F, 0x2018},
    {0x90, 0x2019}, {0x91, 0x201A}, {0x92, 0x2122}, {0x93, 0xFB01}, {0x94, 0xFB02}, {0x95, 0x0141},
    {0x96, 0x0152}, {0x97, 0x0160}, {0x98, 0x0178}, {0x99, 0x017D}, {0x9A, 0x0131}, {0x9B, 0x0142},
    {0x9C, 0x0153}, {0x9D, 0x0161}, {0x9E, 0x017E}, {0x9F, 0},      {0xA0, 0x20AC}, {0xAD, 0},
}};

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

char32_t pdfDocCharacter(unsigned char byte)
{
    for (const auto &[code, character] : kPdfDocEncoding) {
        if (code == byte)
            return character;
    }
    return byte;
}

// UTF-16BE after its byte order mark; a lone surrogate becomes U+FFFD.
std::string fromUtf16(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    const auto unit = [&](std::size_t at) {
        return static_cast<char16_t>((static_cast<unsigned char>(bytes[at]) << 8) |
                                     static_cast<unsigned char>(bytes[at + 1]));
    };
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        const char16_t high = unit(at);
        if (high >= 0xD800 && high < 0xDC00 && at + 3 < bytes.size()) {
            const char16_t low = unit(at + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                appendUtf8(out, 0x10000 + ((char32_t(high) - 0xD800) << 10) + (char32_t(low) - 0xDC00));
                at += 2;
                continue;
            }
        }
        appendUtf8(out, high >= 0xD800 && high < 0xE000 ? char32_t(0xFFFD) : char32_t(high));
    }
    return out;
}

} // namespace

PdfObject PdfObject::inherited(std::string_view key) const
{
    PdfObject at = *this;
    for (int depth = 0; depth < kDeepestParent && !at.isNull(); ++depth) {
        PdfObject value = at.get(key);
        if (!value.isNull())
            return value;
        at = at.get("Parent");
    }
    return {};
}

std::string TextStringToUtf8(std::string_view bytes)
{
    if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF')
        return fromUtf16(bytes.substr(2));
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return std::string(bytes.substr(3));
    std::string out;
    out.reserve(bytes.size());
    for (const char byte : bytes) {
        const char32_t c = pdfDocCharacter(static_cast<unsigned char>(byte));
        appendUtf8(out, c == 0 ? char32_t(0xFFFD) : c);
    }
    return out;
}

std::string TextOf(const PdfObject &object)
{
    const std::optional<std::string> bytes = object.string();
    return bytes ? TextStringToUtf8(*bytes) : std::string();
}

} // namespace pelmora::worker
