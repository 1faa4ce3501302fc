#include "extract/EncodedAtSigns.h"

#include "extract/WordBoundaries.h"

#include <algorithm>
#include <utility>

namespace pelmora {

namespace {

bool startsWithNoCase(QByteArrayView text, QByteArrayView prefix)
{
    return text.size() >= prefix.size() &&
           text.first(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

// Where `needle` first occurs in `text`, or -1. Its first byte is rare in prose, so the
// vectorised search for that byte does nearly all the work: every page is searched so.
qsizetype find(QByteArrayView text, QByteArrayView needle)
{
    for (qsizetype at = text.indexOf(needle.front()); at >= 0; at = text.indexOf(needle.front(), at + 1)) {
        if (text.sliced(at).startsWith(needle))
            return at;
    }
    return -1;
}

// Whether text[i] is in a web address: "://" before it with no space between. Its "%40"
// is a message's or a user's identifier in a query ("thread_name=4C0F342B.5040008%40..."),
// not an address a reader would write to.
bool insideUrl(QByteArrayView text, qsizetype i)
{
    constexpr qsizetype kLongestUrl = 2000;
    const qsizetype limit = std::max<qsizetype>(0, i - kLongestUrl);
    qsizetype start = i;
    while (start > limit && text[start - 1] != ' ' && text[start - 1] != '\n' && text[start - 1] != '\t')
        --start;
    return text.sliced(start, i - start).contains("://");
}

// Whether the run of a word's characters that ends at text[end] (exclusive) or starts at
// text[start] holds an at-sign: an encoded one there would make two, and no address. The
// text before is the decoded one (an at-sign read just before counts); the run after goes
// on over the "#" and the route's "%" that join a local part ("%40cd#ef@...").
bool wordBeforeHoldsAt(QByteArrayView decoded)
{
    for (qsizetype i = decoded.size(); i > 0 && !IsAsciiBoundary(decoded[i - 1]); --i) {
        if (decoded[i - 1] == '@')
            return true;
    }
    return false;
}

bool wordAfterHoldsAt(QByteArrayView text, qsizetype start, const AddressRules &rules)
{
    for (qsizetype i = start;
         i < text.size() && (!IsAsciiBoundary(text[i]) || JoinsLocalPart(text, i, rules)); ++i) {
        if (text[i] == '@')
            return true;
    }
    return false;
}

} // namespace

QByteArrayView WithAtSignsDecoded(QByteArrayView text, QByteArray &decoded, const AddressRules &rules,
                                  QList<DecodedAtSign> &read)
{
    const qsizetype percent = rules.has(AddressRule::PercentEncoding) ? find(text, "%40") : -1;
    const qsizetype entity = rules.has(AddressRule::CharacterReferences) ? find(text, "&#") : -1;
    if (percent < 0 && entity < 0)
        return text;
    const qsizetype first = percent < 0 ? entity : entity < 0 ? percent : std::min(percent, entity);
    decoded = text.first(first).toByteArray();
    qsizetype i = first;
    while (i < text.size()) {
        qsizetype length = 0;
        AddressRule rule = AddressRule::PercentEncoding;
        for (const auto &[encoding, by] :
             {std::pair(QByteArrayView("%40"), AddressRule::PercentEncoding),
              std::pair(QByteArrayView("&#64;"), AddressRule::CharacterReferences),
              std::pair(QByteArrayView("&#x40;"), AddressRule::CharacterReferences)}) {
            if (rules.has(by) && startsWithNoCase(text.sliced(i), encoding))
                length = encoding.size(), rule = by;
        }
        const qsizetype after = i + length;
        if (length > 0 && i > 0 && after < text.size() && !IsAsciiBoundary(text[i - 1]) &&
            !IsAsciiBoundary(text[after]) && !wordBeforeHoldsAt(decoded) &&
            !wordAfterHoldsAt(text, after, rules) && !insideUrl(text, i)) {
            read.append({decoded.size(), rule});
            decoded += '@';
            i = after;
        } else {
            decoded += text[i++];
        }
    }
    return decoded;
}

} // namespace pelmora
