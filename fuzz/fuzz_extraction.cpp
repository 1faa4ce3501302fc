// Checks the address engine against a plain reference built from the documented steps:
// blank the punctuation (CleanPunctuation), cut at the separators and keep words with
// "@" and "." (SplitCandidates), drop a run of trailing full stops, match the whole word
// with std::regex (IsValidEmail), keep the first spelling and count every sighting.
// The input is split at NUL bytes into texts that one run searches in turn. The run's
// own rules (the defaults, and disguised addresses) must hold up on the same bytes and
// give nothing the pattern, or its punycode form, would not accept.
// The repairs' invariant (extract/AddressRepairs.h) is checked on each text with a few
// control bytes spelt out as what the repairs read (line ends, drawn underscores,
// percent-encoding, character references, look-alike letters, invisible characters):
// every address the text gives without the repairs it gives with them, or one marked
// with a repair that holds it, or that it holds but for an encoding's leftover, at the
// same at-sign; and, in a text without an encoded at-sign, every address given unmarked
// is given without the repairs too.

#include "extract/AddressExtraction.h"
#include "extract/AddressRepairs.h"
#include "extract/DisguisedAddresses.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Words = std::vector<std::string>;

constexpr char kPattern[] =
    R"(^([a-zA-Z0-9_\-])([a-zA-Z0-9_\-\.]*)@(\[((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\.){3}|((([a-zA-Z0-9\-]+)\.)+))([a-zA-Z]{2,}|(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])\])$)";
static_assert(sizeof(kPattern) - 1 == 190);

constexpr std::string_view kPunctuation = ",!\"#$%&'()*/:;<=>?[\\]^`{|}~";
static_assert(kPunctuation.size() == 27);

std::string blankPunctuation(std::string text)
{
    for (char &c : text) {
        if (kPunctuation.find(c) != std::string_view::npos)
            c = ' ';
    }
    return text;
}

Words splitAt(const Words &pieces, std::string_view separator)
{
    Words out;
    for (const std::string &piece : pieces) {
        std::size_t from = 0;
        for (;;) {
            const std::size_t at = piece.find(separator, from);
            out.push_back(piece.substr(from, at == std::string::npos ? std::string::npos : at - from));
            if (at == std::string::npos)
                break;
            from = at + separator.size();
        }
    }
    return out;
}

Words candidates(const std::string &cleaned)
{
    Words words{cleaned};
    for (std::string_view separator : {"\r\n", "\t", "\r", " ", "\n", "\f"})
        words = splitAt(words, separator);
    // A word qualifies as cut; the full stops ending a sentence go afterwards, before
    // the pattern test.
    Words kept;
    for (std::string word : words) {
        if (word.find('@') == std::string::npos || word.find('.') == std::string::npos)
            continue;
        while (!word.empty() && word.back() == '.')
            word.pop_back();
        kept.push_back(word);
    }
    return kept;
}

bool matchesPattern(const std::string &word)
{
    static const std::regex pattern(kPattern, std::regex::ECMAScript);
    return std::regex_match(word, pattern);
}

Words referenceValid(const std::string &text)
{
    Words valid;
    for (const std::string &word : candidates(blankPunctuation(text))) {
        if (matchesPattern(word))
            valid.push_back(word);
    }
    return valid;
}

std::string lower(std::string word)
{
    for (char &c : word)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word;
}

Words referenceFresh(const std::string &text, std::set<std::string> &seen)
{
    Words fresh;
    for (const std::string &word : referenceValid(text)) {
        if (seen.insert(lower(word)).second)
            fresh.push_back(word);
    }
    return fresh;
}

Words bytesOf(const QStringList &list)
{
    Words out;
    for (const QString &s : list)
        out.push_back(s.toLatin1().toStdString());
    return out;
}

void print(const char *title, const Words &words)
{
    std::fprintf(stderr, "%s (%zu):\n", title, words.size());
    for (const std::string &w : words) {
        std::fputs("  [", stderr);
        for (unsigned char c : w)
            std::fprintf(stderr, std::isprint(c) ? "%c" : "\\x%02x", c);
        std::fputs("]\n", stderr);
    }
}

void expectSame(const char *what, const std::string &text, const Words &engine, const Words &reference)
{
    if (engine == reference)
        return;
    std::fprintf(stderr, "MISMATCH in %s for a text of %zu bytes\n", what, text.size());
    print("engine", engine);
    print("reference", reference);
    std::abort();
}

QByteArrayView viewOf(const std::string &text)
{
    return QByteArrayView(text.data(), static_cast<qsizetype>(text.size()));
}

// The run's rules let "+", "#" and a route's "%" into the local part, but first;
// elsewhere the pattern holds.
std::string localMarksReadAsLetters(std::string address)
{
    const std::size_t at = address.find('@');
    for (std::size_t i = 1; at != std::string::npos && i < at; ++i) {
        if (address[i] == '+' || address[i] == '%' || address[i] == '#')
            address[i] = 'p';
    }
    return address;
}

// What a repair reads, for the bytes 1 to 9: the fuzzer finds them at once.
std::string spelt(const std::string &text)
{
    static const char *const kSpelt[] = {"",      "\n",  "\xEE\x81\x9F", "%20",      "%40",
                                         "&#64;", "%3C", "\xD0\xB0",     "\xC2\xAD", "\n\n"};
    std::string out;
    for (const char c : text) {
        if (c >= 1 && c <= 9)
            out += kSpelt[int(c)];
        else
            out += c;
    }
    return out;
}

std::pair<std::string, std::string> parts(const std::string &address)
{
    const std::size_t at = address.find('@');
    return {address.substr(0, at), address.substr(at + 1)};
}

bool endsWith(const std::string &text, const std::string &end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool startsWith(const std::string &text, const std::string &start)
{
    return text.compare(0, start.size(), start) == 0;
}

// One address holds the other at the same at-sign: `outer` extends `inner` on either side.
bool holds(const std::string &outer, const std::string &inner)
{
    const auto [outerLocal, outerDomain] = parts(outer);
    const auto [innerLocal, innerDomain] = parts(inner);
    return endsWith(outerLocal, innerLocal) && startsWith(outerDomain, innerDomain);
}

void checkRepairs(const std::string &text)
{
    pelmora::SeenAddresses plainSeen;
    pelmora::SeenAddresses repairedSeen;
    pelmora::AddressRules unrepaired;
    unrepaired.on &= ~pelmora::RepairRules();
    QList<pelmora::AddressRuleSet> repairs;
    const Words plain = bytesOf(pelmora::ExtractEmailToArray(viewOf(text), plainSeen, unrepaired));
    const Words repaired = bytesOf(pelmora::ExtractEmailToArray(viewOf(text), repairedSeen, {}, &repairs));
    std::set<std::string> plainKeys;
    for (const std::string &address : plain)
        plainKeys.insert(lower(address));
    std::set<std::string> repairedKeys;
    for (const std::string &address : repaired)
        repairedKeys.insert(lower(address));
    for (const std::string &address : plain) {
        const std::string key = lower(address);
        bool kept = repairedKeys.count(key) > 0;
        for (std::size_t i = 0; !kept && i < repaired.size(); ++i) {
            const std::string other = lower(repaired[i]);
            // Only first sightings are listed: a holder that the text gives plainly elsewhere
            // as well may have been listed unmarked.
            kept = (repairs[qsizetype(i)] || plainKeys.count(other) > 0) &&
                   (holds(other, key) || holds(key, other));
        }
        if (!kept) {
            print("lost by the repairs", {address});
            print("in the text", {text});
            print("repaired", repaired);
            std::abort();
        }
    }
    // An at-sign decoded elsewhere changes what stands around the other words (a web
    // address's user part ends at an at-sign), so the second half holds without them.
    if (text.find("%40") != std::string::npos || text.find("&#") != std::string::npos)
        return;
    for (std::size_t i = 0; i < repaired.size(); ++i) {
        if (!repairs[qsizetype(i)] && plainKeys.count(lower(repaired[i])) == 0) {
            print("changed by a repair that it does not name", {repaired[i]});
            print("in the text", {text});
            std::abort();
        }
    }
}

} // namespace

// libstdc++'s std::regex recurses once per character and overflows the stack on words
// of some tens of thousands of characters; scripts/fuzz.sh keeps inputs to 8 KiB.
constexpr std::size_t kLongestInput = 16384;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size > kLongestInput)
        return 0;
    const std::string input(reinterpret_cast<const char *>(data), size);

    // The whole input as one word: the pattern alone, newlines and all.
    if (pelmora::IsValidEmail(viewOf(input)) != matchesPattern(input)) {
        std::fprintf(stderr, "MISMATCH in IsValidEmail\n");
        print("word", {input});
        std::abort();
    }

    // The texts of one run share what has been seen and count every sighting.
    pelmora::SeenAddresses seen;
    pelmora::SeenAddresses ruled;
    pelmora::AddressRules disguised;
    disguised.on |= pelmora::AddressRule::Disguised;
    std::set<std::string> referenceSeen;
    std::map<std::string, int> referenceCounts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t nul = input.find('\0', from);
        const std::string text =
            input.substr(from, nul == std::string::npos ? std::string::npos : nul - from);
        for (const std::string &word : referenceValid(text))
            ++referenceCounts[lower(word)];
        const Words fresh = referenceFresh(text, referenceSeen);
        expectSame(
            "ExtractEmailToArray", text,
            bytesOf(pelmora::ExtractEmailToArray(viewOf(text), seen, pelmora::AddressRules::patternOnly())),
            fresh);
        for (const std::string &address :
             bytesOf(pelmora::ExtractEmailToArray(viewOf(text), ruled, disguised) +
                     pelmora::ExtractDisguised(viewOf(text), ruled, disguised))) {
            if (!matchesPattern(localMarksReadAsLetters(address)) &&
                address.find(".xn--") == std::string::npos) {
                print("not an address by the run's rules", {address});
                std::abort();
            }
        }
        checkRepairs(spelt(text));
        if (static_cast<std::size_t>(seen.size()) != referenceSeen.size()) {
            std::fprintf(stderr, "MISMATCH in SeenAddresses: %lld keys, reference %zu\n",
                         static_cast<long long>(seen.size()), referenceSeen.size());
            std::abort();
        }
        if (nul == std::string::npos)
            break;
        from = nul + 1;
    }
    for (const auto &[key, count] : referenceCounts) {
        if (seen.count(viewOf(key)) != count) {
            std::fprintf(stderr, "MISMATCH in the count of %s: %d, reference %d\n", key.c_str(),
                         seen.count(viewOf(key)), count);
            std::abort();
        }
    }
    return 0;
}
