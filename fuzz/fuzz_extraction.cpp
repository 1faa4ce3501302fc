// Checks the address engine against a plain reference built from the documented steps:
// blank the punctuation (CleanPunctuation), cut at the separators and keep words with
// "@" and "." (SplitCandidates), drop a run of trailing full stops, match the whole word
// with std::regex (IsValidEmail), keep the first spelling and count every sighting.
// The input is split at NUL bytes into texts that one run searches in turn. The run's
// own rules (the defaults, and disguised addresses) must hold up on the same bytes and
// give nothing the pattern, or its punycode form, would not accept.

#include "extract/AddressExtraction.h"
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

// The run's rules let "+" and a route's "%" into the local part, but first; elsewhere
// the pattern holds.
std::string localMarksReadAsLetters(std::string address)
{
    const std::size_t at = address.find('@');
    for (std::size_t i = 1; at != std::string::npos && i < at; ++i) {
        if (address[i] == '+' || address[i] == '%')
            address[i] = 'p';
    }
    return address;
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
