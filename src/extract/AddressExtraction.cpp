#include "extract/AddressExtraction.h"

#include <QRegularExpression>

#include <array>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

constexpr char kPunctuation[] = ",!\"#$%&'()*/:;<=>?[\\]^`{|}~";

enum ByteClass : unsigned char {
    Blanked = 1,     // one of the 27 punctuation characters
    Boundary = 2,    // ends a word once punctuation is blanked (separators too)
    InAddress = 4,   // may occur in a matching word at all
    FirstOfWord = 8, // may start a matching word
    LastOfWord = 16, // may end a matching word
};

constexpr std::array<unsigned char, 256> makeClasses()
{
    std::array<unsigned char, 256> classes{};
    for (const char *p = kPunctuation; *p; ++p)
        classes[static_cast<unsigned char>(*p)] |= Blanked | Boundary;
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

// Per-thread scratch strings, so that a word costs no allocation until it is kept.
QString &wordScratch()
{
    thread_local QString scratch;
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

bool matchesPattern(QByteArrayView word)
{
    return mayMatch(word) && runPattern(word);
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
template <typename Take>
void forEachCandidate(QByteArrayView text, Take &&take)
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

QByteArray CleanPunctuation(QByteArrayView text)
{
    QByteArray cleaned = text.toByteArray();
    for (char &c : cleaned) {
        if (is(c, Blanked))
            c = ' ';
    }
    return cleaned;
}

QList<QByteArrayView> SplitCandidates(QByteArrayView cleaned)
{
    QList<QByteArrayView> words;
    forEachCandidate(cleaned, [&](QByteArrayView word) { words.append(word); });
    return words;
}

bool IsValidEmail(QByteArrayView word)
{
    return matchesPattern(word);
}

QStringList ValidAddresses(QByteArrayView text)
{
    QStringList addresses;
    forEachCandidate(text, [&](QByteArrayView word) {
        if (matchesPattern(word))
            addresses.append(wordScratch()); // shared; the next word detaches the scratch
    });
    return addresses;
}

bool SeenAddresses::insert(const QString &address)
{
    thread_local QByteArray key;
    key.resize(address.size());
    char *out = key.data();
    for (const QChar c : address) {
        const char16_t u = c.unicode();
        if (u >= 0x80) {
            const QByteArray utf8 = address.toLower().toUtf8();
            return insertKey(utf8);
        }
        *out++ = static_cast<char>(u >= 'A' && u <= 'Z' ? u + 32 : u);
    }
    return insertKey(key);
}

bool SeenAddresses::insertKey(const QByteArray &key)
{
    const qsizetype before = m_keys.size();
    m_keys.insert(QByteArray(key.constData(), key.size())); // a copy of its own: `key` is reused
    return m_keys.size() != before;
}

QStringList KeepUnseen(const QStringList &candidates, SeenAddresses &seen)
{
    QStringList fresh;
    for (const QString &address : candidates) {
        if (seen.insert(address))
            fresh.append(address);
    }
    return fresh;
}

QStringList ExtractEmailToArray(QByteArrayView text, SeenAddresses &seen)
{
    thread_local QByteArray key;
    QStringList fresh;
    forEachCandidate(text, [&](QByteArrayView word) {
        if (!mayMatch(word))
            return;
        // The pattern treats both letter cases alike, so a word whose key is known gives
        // nothing new whatever the pattern says of it: repeated addresses skip it.
        setLowerAscii(key, word);
        if (seen.contains(key) || !runPattern(word))
            return;
        seen.insertKey(key);
        fresh.append(wordScratch()); // shared; the next word detaches the scratch
    });
    return fresh;
}

} // namespace pelmora
