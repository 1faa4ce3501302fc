#include "extract/AddressExtraction.h"

#include "extract/AddressContext.h"
#include "extract/EncodedAtSigns.h"
#include "extract/KnownDomains.h"
#include "extract/LineJoins.h"
#include "extract/WordBoundaries.h"

#include <QString>
#include <QVarLengthArray>

#include <algorithm>
#include <array>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

enum ByteClass : unsigned char
{
    InAddress = 1,   // may occur in a matching word at all
    FirstOfWord = 2, // may start a matching word
    LastOfWord = 4,  // may end a matching word
};

constexpr std::array<unsigned char, 256> makeClasses()
{
    std::array<unsigned char, 256> classes{};
    for (int c = 0; c < 256; ++c) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        if (letter || digit || c == '_' || c == '-')
            classes[c] |= InAddress | FirstOfWord;
        if (letter || c == ']')
            classes[c] |= LastOfWord;
        if (c == '.' || c == '@' || c == '[' || c == ']' || c == '+' || c == '%' || c == '#')
            classes[c] |= InAddress;
    }
    return classes;
}

constexpr std::array<unsigned char, 256> kClasses = makeClasses();

bool is(char c, ByteClass what)
{
    return kClasses[static_cast<unsigned char>(c)] & what;
}

QByteArray &keyScratch()
{
    thread_local QByteArray scratch;
    return scratch;
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

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isLabelCharacter(char c)
{
    return isLetter(c) || isDigit(c) || c == '-';
}

bool isLabel(QByteArrayView part)
{
    return !part.isEmpty() && std::all_of(part.begin(), part.end(), isLabelCharacter);
}

// A number from 0 to 255 without leading zeros.
bool isOctet(QByteArrayView digits)
{
    if (digits.isEmpty() || digits.size() > 3 || (digits.size() > 1 && digits.front() == '0') ||
        !std::all_of(digits.begin(), digits.end(), isDigit))
        return false;
    return digits.toInt() <= 255;
}

// The last part of a domain: two or more letters, or an octet and "]".
bool isFinalPart(QByteArrayView part)
{
    if (part.endsWith(']'))
        return isOctet(part.chopped(1));
    return part.size() >= 2 && std::all_of(part.begin(), part.end(), isLetter);
}

// The address pattern, matched by hand because the hot path cannot afford a regular
// expression per word; it gives the regular expression's answers exactly (the fuzzer
// fuzz_extraction holds it to std::regex on the pattern as written):
//   ^([a-zA-Z0-9_\-])([a-zA-Z0-9_\-\.]*)@(\[((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}|
//   ((([a-zA-Z0-9\-]+)\.)+))([a-zA-Z]{2,}|(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\])$
// That is: a local part of letters, digits, "_", "-" and "." not starting with "."; "@";
// then either "[" and three octets each followed by ".", or one or more labels (letters,
// digits, "-") each followed by "."; and a final part of two or more letters or an octet
// and "]". For a word that mayMatch(). The local part may also hold the bytes of
// `extra` ("+", "%"), never first (mayMatch() keeps them from the first byte).
bool runPattern(QByteArrayView word, QByteArrayView extra = {})
{
    const qsizetype at = word.indexOf('@');
    if (at <= 0 || word.front() == '.' || !std::all_of(word.begin(), word.begin() + at, [extra](char c) {
            return isLabelCharacter(c) || c == '_' || c == '.' || extra.contains(c);
        }))
        return false;
    QByteArrayView domain = word.sliced(at + 1);
    const bool literal = domain.startsWith('[');
    if (literal)
        domain = domain.sliced(1);
    // Every part before the last one is followed by ".".
    qsizetype parts = 0;
    qsizetype from = 0;
    for (qsizetype dot = domain.indexOf('.'); dot >= 0; dot = domain.indexOf('.', from)) {
        const QByteArrayView part = domain.sliced(from, dot - from);
        if (literal ? !isOctet(part) : !isLabel(part))
            return false;
        ++parts;
        from = dot + 1;
    }
    return (literal ? parts == 3 : parts >= 1) && isFinalPart(domain.sliced(from));
}

// ASCII lower case, which is all a valid address needs.
char narrow(char c)
{
    return c;
}

// Addresses are ASCII; as text, each character is one byte (Latin-1, as toLatin1() has it).
char narrow(QChar c)
{
    return c.unicode() < 0x100 ? char(c.unicode()) : '?';
}

template <typename Text> void setLowerAscii(QByteArray &out, Text word)
{
    out.resize(word.size());
    char *lower = out.data();
    for (const auto each : word) {
        const char c = narrow(each);
        *lower++ = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
    }
}

QByteArrayView lastLabel(QByteArrayView word)
{
    qsizetype dot = word.size();
    while (dot > 0 && word[dot - 1] != '.')
        --dot;
    return word.sliced(dot);
}

bool startsWithNoCase(QByteArrayView text, QByteArrayView prefix)
{
    return text.size() >= prefix.size() &&
           text.first(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

bool hasPunycodeEnding(QByteArrayView word)
{
    return startsWithNoCase(lastLabel(word), "xn--");
}

// An address whose top-level domain is written in punycode ("xn--p1ai"), which the
// pattern, made for letters only, does not know: the rest must match it.
bool matchesWithPunycode(QByteArrayView word, QByteArrayView extra)
{
    const QByteArrayView label = lastLabel(word);
    if (label.size() <= 4 || !hasPunycodeEnding(word))
        return false;
    for (const char c : label) {
        if (!is(c, FirstOfWord) || c == '_')
            return false;
    }
    const QByteArray lettersInstead = word.chopped(label.size()).toByteArray() + "xn";
    return mayMatch(lettersInstead) && runPattern(lettersInstead, extra);
}

// RFC 5321: a local part of at most 64 characters that does not end in "."; labels of
// at most 63. For a word that matches the pattern.
bool withinLimits(QByteArrayView word)
{
    constexpr qsizetype kLongestLocalPart = 64;
    constexpr qsizetype kLongestLabel = 63;
    const qsizetype at = word.indexOf('@');
    if (at > kLongestLocalPart || word[at - 1] == '.')
        return false;
    qsizetype label = 0;
    for (const char c : word.sliced(at + 1)) {
        label = c == '.' ? 0 : label + 1;
        if (label > kLongestLabel)
            return false;
    }
    return true;
}

// Calls `take(word, start)` with each candidate word of raw text and where it starts,
// in order. Words are found by their "@", so the bulk of the text is skipped with a
// fast search.
// With `joinLines` a word that ends in "@" is a candidate too: its domain may be on the
// next line.
template <typename Take> void forEachCandidate(QByteArrayView text, bool unicode, bool joinLines, Take &&take)
{
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype at = text.indexOf('@', from);
        if (at < 0)
            return;
        const qsizetype start = WordStart(text, at, unicode, from);
        const qsizetype end = WordEnd(text, at + 1, unicode);
        // The word as cut qualifies by its "@" and "."; the stops of a sentence's end
        // go only afterwards. A second "@" in the word is part of it, not a new word.
        const QByteArrayView word = text.sliced(start, end - start);
        if (word.contains('.') || (joinLines && word.endsWith('@')))
            take(word, start);
        from = end;
    }
}

constexpr qsizetype kLongestGroup = 400;

// The names of "{alice, bob}" when text[close] is its "}": each one a word of its own
// between commas and spaces; none when the braces hold anything else.
QByteArrayList groupEndingAt(QByteArrayView text, qsizetype close)
{
    const qsizetype from = std::max<qsizetype>(0, close - kLongestGroup);
    const qsizetype open = text.sliced(from, close - from).lastIndexOf('{');
    if (open < 0)
        return {};
    QByteArrayList names = text.sliced(from + open + 1, close - from - open - 1).toByteArray().split(',');
    for (QByteArray &name : names) {
        name = name.trimmed();
        if (name.isEmpty() || std::any_of(name.cbegin(), name.cend(), [](char c) {
                return IsAsciiBoundary(c) || static_cast<unsigned char>(c) >= 0x80;
            }))
            return {};
    }
    return names;
}

// The byte "%" and two hexadecimal digits encode, when it ends words ("%20", "%3C") or
// is an at-sign left encoded, as one read would make a second in the word ("%40jane@").
bool encodesWordEnd(QByteArrayView pair)
{
    if (!EncodesCharacter(pair))
        return false;
    const char encoded = char(pair.toByteArray().toInt(nullptr, 16));
    return IsAsciiBoundary(encoded) || encoded == '@';
}

} // namespace

// Judges the candidate words of one text by the rules, and keeps the new addresses with
// the repairs that made each.
class AddressTaker
{
public:
    AddressTaker(QByteArrayView text, SeenAddresses &seen, const AddressRules &rules,
                 const QList<DecodedAtSign> &decoded)
        : m_text(text), m_seen(seen), m_rules(rules), m_decoded(decoded), m_wraps(text)
    {
        if (m_rules.has(AddressRule::PlusSign))
            m_localExtras += '+';
        if (m_rules.has(AddressRule::PercentSign))
            m_localExtras += '%';
        if (m_rules.has(AddressRule::HashSign))
            m_localExtras += '#';
    }

    void take(QByteArrayView word, qsizetype start)
    {
        m_made = {};
        qsizetype marked = start;
        const QByteArrayView withMarks = withLocalMarks(word, marked);
        // A route or a "#" that leaves no address would lose the one the text gives without it.
        if (marked != start && takeFrom(withMarks, marked))
            return;
        m_made = {};
        takeFrom(word, start);
    }

    QStringList fresh;
    QList<AddressRuleSet> repairs; // of each fresh address

private:
    static constexpr AddressRuleSet kReadingRules = {AddressRule::InvisibleCharacters,
                                                     AddressRule::UnicodeHyphens, AddressRule::LookAlikes,
                                                     AddressRule::DrawnUnderscores};

    // Whether the word at text[start] gives an address, new or not; a new one is kept.
    bool takeFrom(QByteArrayView word, qsizetype start)
    {
        if (m_rules.has(AddressRule::PercentEncoding) && start > 0 && m_text[start - 1] == '%' &&
            word.size() > 2 && encodesWordEnd(word.first(2)) && is(word[2], FirstOfWord)) {
            // "20jane@" of "Write%20to%20jane@": the encoded space ends the word before.
            word = word.sliced(2);
            start += 2;
            m_made |= AddressRule::PercentEncoding;
        }
        const qsizetype at = start + word.indexOf('@');
        qsizetype end = start + word.size();
        if (m_rules.has(AddressRule::BrokenLines))
            word = joinedAcrossLineEnd(word, start, end);
        if (!word.contains('.'))
            return false;
        if (m_rules.has(AddressRule::Context) && IsNoAddressByContext(m_text, start, at, end))
            return false;
        for (const DecodedAtSign &read : m_decoded) {
            if (read.at >= start && read.at < end)
                m_made |= read.rule;
        }
        if (m_rules.on & kReadingRules)
            word = ReadableWord(word, m_readable, m_rules.on, m_made);
        word = WithoutTrailingStops(word);
        if (m_rules.has(AddressRule::Grouped) && word.startsWith('@') && start > 0 &&
            m_text[start - 1] == '}') {
            if (const QByteArrayList names = groupEndingAt(m_text, start - 1); !names.isEmpty()) {
                m_made |= AddressRule::Grouped;
                for (const QByteArray &name : names)
                    accept(QByteArray(name + word), false);
                return true;
            }
        }
        return accept(word, m_rules.has(AddressRule::BracketArtefacts));
    }

    // The word with the parts before it that a mail route's "%" ("myself%" of
    // "myself%node@gateway.net") or a "#" ("ref#" of "ref#4711@...") joins to it; `start`
    // then moves to the first one's first byte. Each mark stands between a word's
    // characters and brings none that a local part cannot hold, nor a second "@"; a "%"
    // encodes no character ("%20", "%C3": two hexadecimal digits, not both letters as in
    // "%de"), a "#" is no TeX parameter ("#1").
    QByteArrayView withLocalMarks(QByteArrayView word, qsizetype &start)
    {
        constexpr qsizetype kLongestLocalPart = 64;
        const qsizetype end = start + word.size();
        const qsizetype atSign = start + word.indexOf('@');
        qsizetype head = start;
        while (head >= 2 && head + 1 < end && JoinsLocalPart(m_text, head - 1, m_rules)) {
            const bool route = m_text[head - 1] == '%';
            const qsizetype before = WordStart(m_text, head - 1, m_rules.has(AddressRule::UnicodeBoundaries));
            const QByteArrayView part = m_text.sliced(before, head - 1 - before);
            // TeX code before it ("\\foo%bar@...", "#1%bar@...") or a local part past RFC
            // 5321's length would spoil the address the text gives without it.
            const bool spoils = (before > 0 && m_text[before - 1] == '\\') ||
                                IsTexParameter(m_text, before) || atSign - before > kLongestLocalPart;
            if (spoils || part.contains('@') || !is(m_text[before], FirstOfWord) ||
                !std::all_of(part.begin(), part.end(), [](char c) { return is(c, InAddress); }))
                break;
            if (route)
                m_made |= AddressRule::PercentSign;
            head = before;
        }
        start = head;
        return m_text.sliced(head, end - head);
    }

    // The word, or the address it is the first or last line's part of; [start, end)
    // then spans both parts.
    QByteArrayView joinedAcrossLineEnd(QByteArrayView word, qsizetype &start, qsizetype &end)
    {
        const bool unicode = m_rules.has(AddressRule::UnicodeBoundaries);
        if (const qsizetype next = NextLineStart(m_text, end); next >= 0) {
            const qsizetype nextEnd = WordEnd(m_text, next, unicode);
            const QByteArrayView tail = m_text.sliced(next, nextEnd - next);
            const bool sentence = word.endsWith('.') && StartsASentence(tail);
            // A word whole by itself goes on only where the line ran to the wrap column.
            const bool broken = (endsInsideAnAddress(word) && !isAddress(WithoutTrailingStops(word))) ||
                                (m_text[next - 1] == '\n' && m_wraps.runsToWrapColumn(end));
            if (!tail.isEmpty() && isLabelCharacter(tail.front()) && !sentence && broken &&
                joinIfAddress(word, tail)) {
                end = nextEnd;
                m_made |= AddressRule::BrokenLines;
                return m_joined;
            }
        }
        if (const qsizetype lineEnd = PreviousLineEnd(m_text, start); lineEnd >= 0) {
            const qsizetype headStart = WordStart(m_text, lineEnd, unicode);
            const QByteArrayView head = m_text.sliced(headStart, lineEnd - headStart);
            if (!head.isEmpty() && headJoins(head, headStart, lineEnd, word, start, end) &&
                joinIfAddress(head, word)) {
                start = headStart;
                m_made |= AddressRule::BrokenLines;
                return m_joined;
            }
        }
        return word;
    }

    // Whether `head`, the last word of the line before, begins the word that starts the
    // next line at text[start]: "a.dimitriadis" / "@uu.nl" where the head looks like a
    // local part; "matthias." / "eisner@ethz.ch", itself an address, only on evidence.
    bool headJoins(QByteArrayView head, qsizetype headStart, qsizetype headEnd, QByteArrayView word,
                   qsizetype start, qsizetype end)
    {
        // A line cut at the wrap column, but not after a sentence's full stop.
        if (m_text[start - 1] == '\n' && !head.endsWith('.') && m_wraps.runsToWrapColumn(headEnd))
            return true;
        const bool evidence = JoinedByEvidence(m_text, headStart, headEnd, start, end);
        if (word.startsWith('@'))
            return evidence || LooksLikeLocalPart(head);
        return evidence && IsLocalPartHead(m_text, headStart, headEnd);
    }

    // "name@", "name@host." or "name@ex-": the domain is still to come.
    static bool endsInsideAnAddress(QByteArrayView word)
    {
        return word.endsWith('@') || ((word.endsWith('.') || word.endsWith('-')) && word.indexOf('@') > 0);
    }

    bool joinIfAddress(QByteArrayView head, QByteArrayView tail)
    {
        m_joined = head.toByteArray() + tail.toByteArray();
        return isAddress(WithoutTrailingStops(m_joined));
    }

    // Whether accept() would take the word, leaving out the domain filter.
    bool isAddress(QByteArrayView word)
    {
        if (!mayMatch(word) || !matches(word, true) ||
            (m_rules.has(AddressRule::Limits) && !withinLimits(word)))
            return false;
        if (!m_rules.has(AddressRule::KnownDomains))
            return true;
        QByteArray &key = keyScratch();
        setLowerAscii(key, word);
        return hasKnownTopLevel(key);
    }

    // The pattern, or with known domains also its punycode form.
    bool matches(QByteArrayView word, bool mayMatchPlainly) const
    {
        return (mayMatchPlainly && runPattern(word, m_localExtras)) ||
               (m_rules.has(AddressRule::KnownDomains) && matchesWithPunycode(word, m_localExtras));
    }

    bool hasKnownTopLevel(QByteArrayView key)
    {
        if (key.endsWith(']'))
            return true;
        // The addresses of a page share a few endings: their answers are kept at hand.
        const QByteArrayView label = lastLabel(key);
        for (const auto &[ending, known] : m_endings) {
            if (ending == label)
                return known;
        }
        const bool known = KnownDomains::system().isTopLevel(label);
        m_endings.append({label.toByteArray(), known});
        return known;
    }

    // Whether the word is an address (the domain filter aside); a new one is kept.
    bool accept(QByteArrayView word, bool repairable)
    {
        const bool plain = mayMatch(word);
        if (!plain && !(m_rules.has(AddressRule::KnownDomains) && hasPunycodeEnding(word)))
            return false;
        // The rules treat both letter cases alike, so a word whose key is known is
        // another sighting of an address already taken, whatever its spelling.
        QByteArray &key = keyScratch();
        setLowerAscii(key, word);
        if (m_seen.countMore(key, 1))
            return true;
        if (!matches(word, plain) || (m_rules.has(AddressRule::Limits) && !withinLimits(word)))
            return false;
        if (m_rules.has(AddressRule::KnownDomains) && !hasKnownTopLevel(key)) {
            // "h" and "i" for the angle brackets of a font without a Unicode map.
            if (!repairable || word.size() <= 2 || !word.startsWith('h') || !word.endsWith('i'))
                return false;
            m_made |= AddressRule::BracketArtefacts;
            return accept(word.sliced(1).chopped(1), false);
        }
        if (!m_rules.domains.isEmpty() && !m_rules.domains.accepts(key.sliced(key.indexOf('@') + 1)))
            return true;
        m_seen.add(key, 1);
        fresh.append(QString::fromLatin1(word));
        repairs.append(m_made);
        return true;
    }

    QByteArrayView m_text;
    SeenAddresses &m_seen;
    const AddressRules &m_rules;
    const QList<DecodedAtSign> &m_decoded;
    WrapColumns m_wraps;
    AddressRuleSet m_made; // the repairs that made the word at hand
    QByteArray m_readable;
    QByteArray m_joined;
    QByteArray m_localExtras; // what the rules let into a local part beyond the pattern
    QVarLengthArray<std::pair<QByteArray, bool>, 8> m_endings;
};

bool IsValidEmail(QByteArrayView word)
{
    return mayMatch(word) && runPattern(word);
}

bool IsAddressOfARun(QByteArrayView word)
{
    return (mayMatch(word) && runPattern(word, "+%#")) || matchesWithPunycode(word, "+%#");
}

namespace {

// Keys are kept in blocks of this size; a longer one gets a block of its own.
constexpr qsizetype kKeyBlock = 64 * 1024;

// The key of an address: in lower case, in this thread's scratch until the next one.
template <typename Text> QByteArrayView lowerKey(Text address)
{
    QByteArray &key = keyScratch();
    setLowerAscii(key, address);
    return key;
}

} // namespace

SeenAddresses::~SeenAddresses() = default;

bool SeenAddresses::insert(QByteArrayView address, int times)
{
    return tally(lowerKey(address), times);
}

bool SeenAddresses::insert(QStringView address, int times)
{
    return tally(lowerKey(address), times);
}

int SeenAddresses::count(QByteArrayView address) const
{
    return m_counts.value(lowerKey(address));
}

int SeenAddresses::count(QStringView address) const
{
    return m_counts.value(lowerKey(address));
}

bool SeenAddresses::tally(QByteArrayView key, int times)
{
    if (countMore(key, times))
        return false;
    add(key, times);
    return true;
}

bool SeenAddresses::countMore(QByteArrayView key, int times)
{
    const auto known = m_counts.find(key);
    if (known == m_counts.end())
        return false;
    *known += times;
    if (m_also)
        m_also->tally(key, times);
    return true;
}

void SeenAddresses::add(QByteArrayView key, int times)
{
    m_counts.insert(keep(key), times);
    if (m_also)
        m_also->tally(key, times);
}

QByteArrayView SeenAddresses::keep(QByteArrayView key)
{
    char *kept = nullptr;
    if (key.size() > kKeyBlock) {
        // A block of its own, put first, so that the one being filled stays last.
        kept = m_blocks.insert(m_blocks.begin(), std::make_unique<char[]>(std::size_t(key.size())))->get();
    } else {
        if (m_blocks.empty() || m_blockFree < key.size()) {
            m_blocks.push_back(std::make_unique<char[]>(std::size_t(kKeyBlock)));
            m_blockFree = kKeyBlock;
        }
        kept = m_blocks.back().get() + (kKeyBlock - m_blockFree);
        m_blockFree -= key.size();
    }
    std::copy(key.begin(), key.end(), kept);
    return {kept, key.size()};
}

QStringList ExtractEmailToArray(QByteArrayView text, SeenAddresses &seen, const AddressRules &rules,
                                QList<AddressRuleSet> *repairs)
{
    QByteArray decoded;
    QList<DecodedAtSign> read;
    text = WithAtSignsDecoded(text, decoded, rules, read);
    AddressTaker taker(text, seen, rules, read);
    forEachCandidate(text, rules.has(AddressRule::UnicodeBoundaries), rules.has(AddressRule::BrokenLines),
                     [&](QByteArrayView word, qsizetype start) { taker.take(word, start); });
    if (repairs)
        *repairs = taker.repairs;
    return taker.fresh;
}

} // namespace pelmora
