#include "extract/AddressExtraction.h"

#include <QRegularExpression>

#include <array>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

constexpr char kPunctuation[] = ",!\"#$%&'()*/:;<=>?[\\]^`{|}~";

// Bytes that end a word once punctuation is blanked: the blanked punctuation itself,
// space, TAB, CR, and the decided extras LF and form feed.
constexpr std::array<bool, 256> makeTable(bool withSeparators)
{
    std::array<bool, 256> table{};
    for (const char *p = kPunctuation; *p; ++p)
        table[static_cast<unsigned char>(*p)] = true;
    if (withSeparators) {
        for (unsigned char c : {' ', '\t', '\r', '\n', '\f'})
            table[c] = true;
    }
    return table;
}

constexpr std::array<bool, 256> kBlanked = makeTable(false);
constexpr std::array<bool, 256> kBoundary = makeTable(true);

bool isBoundary(char c)
{
    return kBoundary[static_cast<unsigned char>(c)];
}

const QRegularExpression &addressPattern()
{
    // Used exactly as written; anchored so that "$" cannot match before a final line feed.
    // One compiled copy per thread, since runs search several texts at once.
    thread_local const QRegularExpression pattern = [] {
        QRegularExpression re(QRegularExpression::anchoredPattern(
            uR"(^([a-zA-Z0-9_\-])([a-zA-Z0-9_\-\.]*)@(\[((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}|((([a-zA-Z0-9\-]+)\.)+))([a-zA-Z]{2,}|(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\])$)"_s));
        re.optimize();
        return re;
    }();
    return pattern;
}

QByteArrayView withoutTrailingStops(QByteArrayView word)
{
    while (word.endsWith('.'))
        word.chop(1);
    return word;
}

// Calls `take` with each candidate word of raw text, in order. Words are found by
// their "@", so the bulk of the text is skipped with a fast search.
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
        while (start > from && !isBoundary(begin[start - 1]))
            --start;
        qsizetype end = at + 1;
        while (end < size && !isBoundary(begin[end]))
            ++end;
        // The word as cut qualifies by its "@" and "."; its trailing full stops (the end
        // of a sentence) go only afterwards.
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
        if (kBlanked[static_cast<unsigned char>(c)])
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
    return addressPattern().match(QString::fromLatin1(word)).hasMatch();
}

QStringList ValidAddresses(QByteArrayView text)
{
    QStringList addresses;
    forEachCandidate(text, [&](QByteArrayView word) {
        if (IsValidEmail(word))
            addresses.append(QString::fromLatin1(word));
    });
    return addresses;
}

bool SeenAddresses::insert(const QString &address)
{
    const qsizetype before = m_keys.size();
    m_keys.insert(address.toLower());
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
    return KeepUnseen(ValidAddresses(text), seen);
}

} // namespace pelmora
