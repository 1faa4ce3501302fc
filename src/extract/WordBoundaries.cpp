#include "extract/WordBoundaries.h"

#include "core/DrawnUnderscore.h"
#include "core/Utf8.h"

#include <QChar>

#include <algorithm>
#include <cstring>
#include <optional>

namespace pelmora {

namespace {

constexpr char32_t kHyphen = 0x2010;
constexpr char32_t kNonBreakingHyphen = 0x2011;

// The code point of the well-formed sequence of `length` bytes at text[i].
char32_t decode(QByteArrayView text, qsizetype i, qsizetype length)
{
    const auto byte = [&](qsizetype k) {
        return static_cast<char32_t>(static_cast<unsigned char>(text[i + k]));
    };
    char32_t point = byte(0) & (0xFF >> (length + 1));
    for (qsizetype k = 1; k < length; ++k)
        point = (point << 6) | (byte(k) & 0x3F);
    return point;
}

constexpr char32_t kFirstFullWidth = 0xFF01; // "！", the full-width form of "!"
constexpr char32_t kLastFullWidth = 0xFF5E;  // "～"
constexpr char32_t kIdeographicComma = 0x3001;
constexpr char32_t kIdeographicFullStop = 0x3002;

constexpr char32_t kDagger = 0x2020;
constexpr char32_t kDoubleDagger = 0x2021;
constexpr char32_t kLastNoncharacter = 0xFFFF; // U+FFFE and U+FFFF: a glyph read as nothing

// Dashes (but the hyphens, which join words), quotes, brackets and spaces of every kind;
// the full-width forms of the ASCII punctuation that ends words ("Email：a@x.cn，"), the
// ideographic comma and full stop; symbols and footnote marks ("ulmi@absatzen.de∗",
// "rascher@ifn.ing.tu-bs.de†", "©", the "�" of a glyph without a Unicode value).
bool endsWords(char32_t point)
{
    if (point == kHyphen || point == kNonBreakingHyphen)
        return false;
    if (point >= kFirstFullWidth && point <= kLastFullWidth)
        return IsAsciiBoundary(static_cast<char>(point - kFirstFullWidth + '!'));
    if (point == kIdeographicComma || point == kIdeographicFullStop || point == kDagger ||
        point == kDoubleDagger || point == kLastNoncharacter || point == kLastNoncharacter - 1)
        return true;
    switch (QChar::category(point)) {
    case QChar::Symbol_Math:
    case QChar::Symbol_Other:
    case QChar::Punctuation_Dash:
    case QChar::Punctuation_Open:
    case QChar::Punctuation_Close:
    case QChar::Punctuation_InitialQuote:
    case QChar::Punctuation_FinalQuote:
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

// Cyrillic and Greek letters drawn like Latin ones, as a font's text layer may give them
// inside a Latin word ("urostaјms@gmail.com" with a Cyrillic "ј"); 0 for any other.
char latinLookAlike(char32_t point)
{
    static constexpr std::pair<char32_t, char> kLookAlikes[] = {
        {0x0391, 'A'}, {0x0392, 'B'}, {0x0395, 'E'}, {0x0396, 'Z'}, {0x0397, 'H'}, {0x0399, 'I'},
        {0x039A, 'K'}, {0x039C, 'M'}, {0x039D, 'N'}, {0x039F, 'O'}, {0x03A1, 'P'}, {0x03A4, 'T'},
        {0x03A5, 'Y'}, {0x03A7, 'X'}, {0x03BF, 'o'}, {0x0405, 'S'}, {0x0406, 'I'}, {0x0408, 'J'},
        {0x0410, 'A'}, {0x0412, 'B'}, {0x0415, 'E'}, {0x041A, 'K'}, {0x041C, 'M'}, {0x041D, 'H'},
        {0x041E, 'O'}, {0x0420, 'P'}, {0x0421, 'C'}, {0x0422, 'T'}, {0x0425, 'X'}, {0x0430, 'a'},
        {0x0435, 'e'}, {0x043E, 'o'}, {0x0440, 'p'}, {0x0441, 'c'}, {0x0443, 'y'}, {0x0445, 'x'},
        {0x0455, 's'}, {0x0456, 'i'}, {0x0458, 'j'}, {0x04BB, 'h'}, {0x0501, 'd'}};
    const auto *const end = std::end(kLookAlikes);
    const auto *const found =
        std::lower_bound(std::begin(kLookAlikes), end, point,
                         [](const auto &entry, char32_t key) { return entry.first < key; });
    return found != end && found->first == point ? found->second : 0;
}

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A byte that may start or end a local part's piece.
bool isWordCharacter(char c)
{
    return isAsciiLetter(c) || isDigit(c) || c == '_' || c == '-';
}

} // namespace

bool EncodesCharacter(QByteArrayView pair)
{
    return pair.size() == 2 && isHexDigit(pair[0]) && isHexDigit(pair[1]) &&
           (isDigit(pair[0]) || isDigit(pair[1]));
}

bool IsTexParameter(QByteArrayView text, qsizetype i)
{
    return i > 0 && text[i - 1] == '#' && i < text.size() && isDigit(text[i]) &&
           (i + 1 == text.size() || !isDigit(text[i + 1]));
}

bool JoinsLocalPart(QByteArrayView text, qsizetype i, const AddressRules &rules)
{
    if (i < 1 || i + 2 >= text.size() || !isWordCharacter(text[i - 1]) || !isWordCharacter(text[i + 1]))
        return false;
    if (text[i] == '%')
        return rules.has(AddressRule::PercentSign) && !EncodesCharacter(text.sliced(i + 1, 2));
    return text[i] == '#' && rules.has(AddressRule::HashSign) && !IsTexParameter(text, i + 1);
}

qsizetype UnicodeBoundaryLengthAt(QByteArrayView text, qsizetype i)
{
    const qsizetype length = Utf8SequenceLength(text, i);
    return length > 1 && endsWords(decode(text, i, length)) ? length : 0;
}

bool IsUnicodeBoundaryBefore(QByteArrayView text, qsizetype end)
{
    // Back over the continuation bytes to the byte that starts the sequence.
    qsizetype start = end - 1;
    while (start > 0 && end - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
        --start;
    return UnicodeBoundaryLengthAt(text, start) == end - start;
}

QByteArrayView ReadableWord(QByteArrayView word, QByteArray &scratch, AddressRuleSet rules,
                            AddressRuleSet &made)
{
    // Eight bytes at a time: nearly every word is ASCII and comes back as it is.
    constexpr quint64 highBits = 0x8080808080808080ULL;
    qsizetype ascii = 0;
    for (quint64 eight = 0; ascii + 8 <= word.size(); ascii += 8) {
        std::memcpy(&eight, word.data() + ascii, 8);
        if (eight & highBits)
            break;
    }
    while (ascii < word.size() && static_cast<unsigned char>(word[ascii]) < 0x80)
        ++ascii;
    if (ascii == word.size())
        return word;
    QByteArray readable = word.first(ascii).toByteArray();
    AddressRuleSet changes;
    qsizetype lookAlikes = 0;
    for (qsizetype i = ascii; i < word.size();) {
        const qsizetype length = Utf8SequenceLength(word, i);
        const char32_t point = length > 1 ? decode(word, i, length) : 0;
        const char latin = latinLookAlike(point);
        // What stands for the character (nothing for an invisible one), and the repair that
        // reads it so; no repair: the word fails as written.
        std::optional<AddressRule> repair;
        char c = 0;
        if (length == 1) {
            readable += word[i];
        } else if (point == kHyphen || point == kNonBreakingHyphen) {
            repair = AddressRule::UnicodeHyphens, c = '-';
        } else if (point == kDrawnUnderscore) {
            repair = AddressRule::DrawnUnderscores, c = '_';
        } else if (latin != 0 && !readable.contains('@')) {
            // In a domain another script's letter makes another domain, never the Latin one.
            repair = AddressRule::LookAlikes, c = latin;
            ++lookAlikes;
        } else if (length > 1 && QChar::category(point) == QChar::Other_Format) {
            repair = AddressRule::InvisibleCharacters;
        } else {
            return word; // a letter beyond ASCII or a byte that is no UTF-8
        }
        if (repair) {
            if (!rules.testFlag(*repair))
                return word;
            changes |= *repair;
            if (c != 0)
                readable += c;
        }
        i += std::max<qsizetype>(length, 1);
    }
    // A look-alike among many Latin letters is an artefact; a word of another script is
    // no Latin one.
    constexpr qsizetype kLatinLettersPerLookAlike = 4;
    if (lookAlikes * (kLatinLettersPerLookAlike + 1) >
        std::count_if(readable.cbegin(), readable.cend(), isAsciiLetter))
        return word;
    made |= changes;
    scratch = readable;
    return scratch;
}

} // namespace pelmora
