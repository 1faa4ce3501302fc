#pragma once

#include "extract/AddressRules.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>

namespace pelmora {

// Where the words of converted text (UTF-8 bytes) end, for the address search and the
// repair of recognised text alike.
//
// In ASCII a word ends at a separator (space, TAB, CR, LF, form feed: the converter
// glues a page's form feed to its first word) and at the punctuation no address holds:
// all of it but "+", "-", ".", "@" and "_". With `unicode`, the other control characters
// (which fonts without a Unicode map give for brackets and visible spaces) and dashes,
// quotes, brackets, spaces, symbols and footnote daggers beyond ASCII end a word too (see
// ReadableWord() for the invisible characters inside one); without it every byte but those
// listed belongs to the word it touches.

namespace detail {

constexpr std::array<bool, 256> makeAsciiBoundaries()
{
    std::array<bool, 256> boundary{};
    for (const char *p = ",!\"#$%&'()*/:;<=>?[\\]^`{|}~ \t\r\n\f"; *p; ++p)
        boundary[static_cast<unsigned char>(*p)] = true;
    return boundary;
}

inline constexpr std::array<bool, 256> kAsciiBoundaries = makeAsciiBoundaries();

} // namespace detail

inline bool IsAsciiBoundary(char c)
{
    return detail::kAsciiBoundaries[static_cast<unsigned char>(c)];
}

// A control character that is no separator above ("\x03kaspar@uni-muenster.de\x04").
inline bool IsControl(char c)
{
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

// The length of the character beyond ASCII at text[i] when it ends words, else 0.
qsizetype UnicodeBoundaryLengthAt(QByteArrayView text, qsizetype i);
// True when the character beyond ASCII that ends right before text[end] ends words.
bool IsUnicodeBoundaryBefore(QByteArrayView text, qsizetype end);

// The length of the boundary that starts at text[i]; 0 when text[i] belongs to a word.
inline qsizetype BoundaryLengthAt(QByteArrayView text, qsizetype i, bool unicode)
{
    const char c = text[i];
    if (IsAsciiBoundary(c) || (unicode && IsControl(c)))
        return 1;
    return unicode && static_cast<unsigned char>(c) >= 0x80 ? UnicodeBoundaryLengthAt(text, i) : 0;
}

// The first byte of the word that ends at `end` (exclusive); not before `from`.
inline qsizetype WordStart(QByteArrayView text, qsizetype end, bool unicode, qsizetype from = 0)
{
    qsizetype i = end;
    while (i > from) {
        const char c = text[i - 1];
        if (IsAsciiBoundary(c) || (unicode && IsControl(c)) ||
            (unicode && static_cast<unsigned char>(c) >= 0x80 && IsUnicodeBoundaryBefore(text, i)))
            break;
        --i;
    }
    return i;
}

// One past the last byte of the word that starts at `start`.
inline qsizetype WordEnd(QByteArrayView text, qsizetype start, bool unicode)
{
    qsizetype i = start;
    while (i < text.size() && BoundaryLengthAt(text, i, unicode) == 0)
        ++i;
    return i;
}

// Whether the two bytes after a "%" encode a character: hexadecimal digits, at least one
// a digit ("%20", "%C3"; not the "%de" of a mail route "user%de.relay@...").
bool EncodesCharacter(QByteArrayView pair);
// Whether text[i] starts a macro parameter of TeX: "#" and one digit ("#1@", "#2.").
bool IsTexParameter(QByteArrayView text, qsizetype i);
// Whether the "%" or "#" at text[i], between a word's letters, digits, "_" or "-", joins
// them into one local part by `rules`: a mail route's "%" that encodes no character
// (PercentSign), a "#" that starts no TeX parameter (HashSign).
bool JoinsLocalPart(QByteArrayView text, qsizetype i, const AddressRules &rules);

// The word without the full stops that end a sentence after it.
inline QByteArrayView WithoutTrailingStops(QByteArrayView word)
{
    while (word.endsWith('.'))
        word.chop(1);
    return word;
}

// The word as a reader sees it, by the repairs among `rules`: invisible characters (soft
// hyphen, zero-width spaces and the like) left out (InvisibleCharacters), the Unicode
// hyphens read as "-" (UnicodeHyphens), a Cyrillic or Greek letter drawn like a Latin one
// read as that one in the local part where Latin letters are at least four to one
// (LookAlikes), a drawn underscore read as "_" (DrawnUnderscores). The word itself when
// it is ASCII or when anything else stays (it then fails as written); otherwise the result
// is built in `scratch`, and `made` gains the repairs that changed it.
QByteArrayView ReadableWord(QByteArrayView word, QByteArray &scratch, AddressRuleSet rules,
                            AddressRuleSet &made);

} // namespace pelmora
