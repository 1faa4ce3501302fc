#include "extract/AddressExtraction.h"

#include <QRegularExpression>
#include <QString>

#include <array>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

constexpr char kPunctuation[] = ",!\"#$%&'()*/:;<=>?[\\]^`{|}~";

enum ByteClass : unsigned char
{
    Boundary = 1,    // ends a word: a separator, or punctuation that is blanked to a space
    InAddress = 2,   // may occur in a matching word at all
    FirstOfWord = 4, // may start a matching word
    LastOfWord = 8,  // may end a matching word
};

constexpr std::array<unsigned char, 256> makeClasses()
{
    std::array<unsigned char, 256> classes{};
    for (const char *p = kPunctuation; *p; ++p)
        classes[static_cast<unsigned char>(*p)] |= Boundary;
    // LF and form feed cut words too: the converter ends pages with a form feed glued
    // to the next page's first word.
    for (const unsigned char c : {' ', '\t', '\r', '\n', '\f'})
        classes[c] |= Boundary;
    for (int c = 0; c < 256; ++c) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        if (letter || digit || c == '_' || c == '-')
            classes[c] |= InAddress | FirstOfWord;
        if (letter || c == ']')
            classes[c] |= LastOfWord;
        if (c == '.' || c == '@' || c == '[' || c == ']')
            classes[c] |= InAddress;
    }
    return classes;
}

constexpr std::array<unsigned char, 256> kClasses = makeClasses();

bool is(char c, ByteClass what)
{
    return kClasses[static_cast<unsigned char>(c)] & what;
}

const QRegularExpression &addressPattern()
{
    // Used exactly as written; anchored so that "$" cannot match before a final line feed.
    // QRegularExpression is only reentrant, so each thread compiles its own copy.
    thread_local const QRegularExpression pattern = [] {
        QRegularExpression re(QRegularExpression::anchoredPattern(
            uR"(^([a-zA-Z0-9_\-])([a-zA-Z0-9_\-\.]*)@(\[((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}|((([a-zA-Z0-9\-]+)\.)+))([a-zA-Z]{2,}|(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\])$)"_s));
        re.optimize();
        return re;
    }();
    return pattern;
}

// Per-thread scratch space, so that a word costs no allocation until it is kept.
QString &wordScratch()
{
    thread_local QString scratch;
    return scratch;
}

QByteArray &keyScratch()
{
    thread_local QByteArray scratch;
    return scratch;
}

// Widens Latin-1 bytes into `out`, reusing its storage.
void setLatin1(QString &out, QByteArrayView bytes)
{
    out.resize(bytes.size());
    char16_t *wide = reinterpret_cast<char16_t *>(out.data());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        wide[i] = static_cast<unsigned char>(bytes[i]);
}

// False for words the pattern cannot match, found without it: bytes it never accepts,
// or a wrong first or last byte. A word let through is ASCII.
bool mayMatch(QByteArrayView word)
{
    if (word.isEmpty() || !is(word.front(), FirstOfWord) || !is(word.back(), LastOfWord))
        return false;
    for (const char c : word) {
        if (!is(c, InAddress))
            return false;
    }
    return true;
}

// The pattern test of a word that mayMatch(), leaving it widened in wordScratch().
bool runPattern(QByteArrayView word)
{
    QString &wide = wordScratch();
    setLatin1(wide, word);
    constexpr auto options = QRegularExpression::DontCheckSubjectStringMatchOption; // Latin-1 is valid UTF-16
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    return addressPattern().matchView(wide, 0, QRegularExpression::NormalMatch, options).hasMatch();
#else
    return addressPattern().match(QStringView(wide), 0, QRegularExpression::NormalMatch, options).hasMatch();
#endif
}

// ASCII lower case, which is all a valid address needs.
void setLowerAscii(QByteArray &out, QByteArrayView word)
{
    out.resize(word.size());
    char *lower = out.data();
    for (const char c : word)
        *lower++ = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
}

QByteArrayView withoutTrailingStops(QByteArrayView word)
{
    while (word.endsWith('.'))
        word.chop(1);
    return word;
}

// Calls `take` with each candidate word of raw text, in order, without its trailing
// full stops. Words are found by their "@", so the bulk of the text is skipped with
// a fast search; blanked punctuation bounds words just as separators do.
template <typename Take> void forEachCandidate(QByteArrayView text, Take &&take)
{
    const char *const begin = text.data();
    const qsizetype size = text.size();
    qsizetype from = 0;
    while (from < size) {
        const qsizetype at = text.indexOf('@', from);
        if (at < 0)
            return;
        qsizetype start = at;
        while (start > from && !is(begin[start - 1], Boundary))
            --start;
        qsizetype end = at + 1;
        while (end < size && !is(begin[end], Boundary))
            ++end;
        // The word as cut qualifies by its "@" and "."; the stops of a sentence's end
        // go only afterwards. A second "@" in the word is part of it, not a new word.
        const QByteArrayView word = text.sliced(start, end - start);
        if (word.contains('.'))
            take(withoutTrailingStops(word));
        from = end;
    }
}

} // namespace

bool IsValidEmail(QByteArrayView word)
{
    return mayMatch(word) && runPattern(word);
}

bool SeenAddresses::insert(QByteArrayView address, int times)
{
    QByteArray &key = keyScratch();
    setLowerAscii(key, address);
    int &count = m_counts[key]; // the hash copies the key it keeps
    count += times;
    return count == times;
}

int SeenAddresses::count(QByteArrayView address) const
{
    QByteArray &key = keyScratch();
    setLowerAscii(key, address);
    return m_counts.value(key);
}

QStringList ExtractEmailToArray(QByteArrayView text, SeenAddresses &seen)
{
    QByteArray &key = keyScratch();
    QStringList fresh;
    forEachCandidate(text, [&](QByteArrayView word) {
        if (!mayMatch(word))
            return;
        // The pattern treats both letter cases alike, so a word whose key is known is
        // another sighting of a valid address whatever its spelling: no pattern needed.
        setLowerAscii(key, word);
        const auto known = seen.m_counts.find(key);
        if (known != seen.m_counts.end()) {
            ++*known;
            return;
        }
        if (!runPattern(word))
            return;
        seen.m_counts.insert(key, 1);
        fresh.append(wordScratch()); // shared; the next word detaches the scratch
    });
    return fresh;
}

} // namespace pelmora
