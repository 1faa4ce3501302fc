#include "worker/recognition/AddressVote.h"

#include "extract/AddressExtraction.h"
#include "extract/WordBoundaries.h"
#include "worker/recognition/OcrRepair.h"
#include "worker/recognition/OcrRules.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <map>
#include <optional>

namespace pelmora::worker {

namespace {

bool isAddressByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-' || c == '@' || c == '+' || c == '%' || c == '#';
}

std::size_t distance(std::string_view a, std::string_view b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1] ? 1u : 0u)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// A reading laid over the pivot: what it holds at each of the pivot's characters
// (nothing: '\0') and what it adds before each of them and at the end.
struct Aligned
{
    std::string at;
    std::vector<int> heights; // of `at`
    std::vector<std::string> added;
};

Aligned align(const std::string &pivot, const Reading &reading)
{
    const std::string &other = reading.text;
    const std::size_t n = pivot.size();
    const std::size_t m = other.size();
    std::vector<std::size_t> cost((n + 1) * (m + 1));
    const auto at = [&](std::size_t i, std::size_t j) -> std::size_t & { return cost[i * (m + 1) + j]; };
    for (std::size_t i = 0; i <= n; ++i)
        at(i, 0) = i;
    for (std::size_t j = 0; j <= m; ++j)
        at(0, j) = j;
    for (std::size_t i = 1; i <= n; ++i) {
        for (std::size_t j = 1; j <= m; ++j)
            at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1,
                                 at(i - 1, j - 1) + (pivot[i - 1] != other[j - 1] ? 1u : 0u)});
    }
    Aligned aligned{std::string(n, '\0'), std::vector<int>(n, 0), std::vector<std::string>(n + 1)};
    std::size_t i = n;
    std::size_t j = m;
    while (i > 0 || j > 0) {
        if (i > 0 && j > 0 && at(i, j) == at(i - 1, j - 1) + (pivot[i - 1] != other[j - 1] ? 1u : 0u)) {
            aligned.at[i - 1] = other[j - 1];
            aligned.heights[i - 1] = j - 1 < reading.heights.size() ? reading.heights[j - 1] : 0;
            --i;
            --j;
        } else if (i > 0 && at(i, j) == at(i - 1, j) + 1) {
            --i;
        } else {
            aligned.added[i].insert(aligned.added[i].begin(), other[j - 1]);
            --j;
        }
    }
    return aligned;
}

// The most frequent of the values and its share; ties go to the first listed.
template <typename T> std::pair<T, double> majority(const std::vector<T> &values)
{
    std::map<T, int> counts;
    for (const T &value : values)
        ++counts[value];
    T best = values.front();
    for (const T &value : values) {
        if (counts[value] > counts[best])
            best = value;
    }
    return {best, double(counts[best]) / double(values.size())};
}

// The least and the greatest height of the glyph in x-heights, over the readings that
// measured it; nullopt when none did.
std::optional<std::pair<double, double>>
heightRange(const std::vector<Reading> &readings, const std::vector<Aligned> &aligned, std::size_t position)
{
    std::optional<std::pair<double, double>> range;
    for (std::size_t r = 0; r < readings.size(); ++r) {
        const double ratio =
            readings[r].xHeight > 0 ? aligned[r].heights[position] / readings[r].xHeight : 0.0;
        // Less than half an x-height: the engine's box for the glyph missed it.
        if (ratio < 0.5)
            continue;
        range = range ? std::pair(std::min(range->first, ratio), std::max(range->second, ratio))
                      : std::pair(ratio, ratio);
    }
    return range;
}

bool isRound(char c)
{
    return c == 'o' || c == 'O' || c == '0';
}

// The vote at one character of the pivot: the winner ('\0': nothing) and the share
// that agrees with it, a small "o" and a zero told apart by height.
std::pair<char, double> voteCharacter(const std::vector<Reading> &readings,
                                      const std::vector<Aligned> &aligned, std::size_t position,
                                      const VoteRules &rules)
{
    std::vector<char> votes;
    for (const Aligned &one : aligned)
        votes.push_back(one.at[position]);
    auto [winner, share] = majority(votes);
    if (!isRound(winner))
        return {winner, share};
    const bool small = std::count(votes.begin(), votes.end(), 'o') > 0;
    const bool zero = std::count(votes.begin(), votes.end(), '0') > 0;
    const std::optional<std::pair<double, double>> range = heightRange(readings, aligned, position);
    if (!range)
        return {winner, share};
    // Heights decide only where every measurement says the same.
    const bool measuredSmall = range->second < rules.small;
    const bool measuredTall = range->first > rules.tall;
    if (small && zero) {
        if (measuredSmall)
            return {'o', 1.0};
        if (measuredTall)
            return {'0', 1.0};
        return {winner, share};
    }
    // All agree, but the glyph has the other's height.
    if ((winner == 'o' && measuredTall) || (winner == '0' && measuredSmall))
        return {winner, 0.0};
    return {winner, share};
}

// What the readings hold at one place of the vote, besides its winner.
enum class Doubt
{
    None,
    // Some reading holds a byte that is in no address there: the glyph is a mark (a
    // footnote's dagger read as "T" by some, as "'" by others), no letter.
    Mark,
    // The readings hold one letter in both cases, and its cases differ in shape ("T"
    // and "t"): no reading of the letter explains both.
    Case,
    // The readings hold a digit and a letter it looks like ("1" and "l", "5" and "S"):
    // the readings of one engine share such mistakes, so no majority settles which.
    // (An "o" and a zero are told apart by height instead.)
    LookAlike,
    // Some reading holds a mail route's "%" or a "#", which join a local part's pieces
    // where the others read a mark that ends words ("myself%node" and "myself/node").
    Joining,
};

struct VotedText
{
    std::string text;
    std::vector<double> agreed;    // per byte
    std::vector<Doubt> doubts;     // per byte
    std::vector<double> between;   // before each byte and at the end: agreement on what is not there
    std::vector<bool> markBetween; // per `between`: some reading has a mark there that the vote leaves out
};

bool holdsMark(std::string_view added)
{
    return std::any_of(added.begin(), added.end(), [](char c) { return c != ' ' && !isAddressByte(c); });
}

// Small letters whose capitals have another shape.
bool caseChangesShape(char c)
{
    return c >= 'a' && c <= 'z' && std::string_view("cosuvwxz").find(c) == std::string_view::npos;
}

Doubt doubtAt(const std::vector<Aligned> &aligned, std::size_t position)
{
    if (std::any_of(aligned.begin(), aligned.end(),
                    [&](const Aligned &one) { return one.at[position] == '%' || one.at[position] == '#'; }))
        return Doubt::Joining;
    bool small = false;
    bool capital = false;
    char letter = '\0';
    bool digit = false;
    bool lookAlike = false;
    for (const Aligned &one : aligned) {
        const char c = one.at[position];
        if (c != '\0' && !isAddressByte(c))
            return Doubt::Mark;
        digit = digit || std::string_view("125").find(c) != std::string_view::npos;
        lookAlike = lookAlike || std::string_view("lIiSsZz").find(c) != std::string_view::npos;
        const char lower = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        if (!caseChangesShape(lower) || (letter && lower != letter))
            continue;
        letter = lower;
        (lower == c ? small : capital) = true;
    }
    if (small && capital)
        return Doubt::Case;
    return digit && lookAlike ? Doubt::LookAlike : Doubt::None;
}

VotedText vote(const std::vector<Reading> &readings, const VoteRules &rules)
{
    std::size_t pivotIndex = 0;
    std::size_t best = std::string::npos;
    for (std::size_t r = 0; r < readings.size(); ++r) {
        std::size_t sum = 0;
        for (const Reading &other : readings)
            sum += distance(readings[r].text, other.text);
        if (sum < best) {
            best = sum;
            pivotIndex = r;
        }
    }
    const std::string &pivot = readings[pivotIndex].text;
    std::vector<Aligned> aligned;
    for (const Reading &reading : readings)
        aligned.push_back(align(pivot, reading));
    VotedText voted;
    voted.between.push_back(1.0);
    voted.markBetween.push_back(false);
    for (std::size_t i = 0; i <= pivot.size(); ++i) {
        std::vector<std::string> added;
        for (const Aligned &one : aligned)
            added.push_back(one.added[i]);
        const auto [insertion, insertionShare] = majority(added);
        if (insertion.empty()) {
            voted.between.back() = std::min(voted.between.back(), insertionShare);
            voted.markBetween.back() =
                voted.markBetween.back() || std::any_of(added.begin(), added.end(), holdsMark);
        } else {
            for (const char c : insertion) {
                voted.text += c;
                voted.agreed.push_back(insertionShare);
                voted.doubts.push_back(Doubt::None);
                voted.between.push_back(insertionShare);
                voted.markBetween.push_back(false);
            }
        }
        if (i == pivot.size())
            break;
        const auto [c, share] = voteCharacter(readings, aligned, i, rules);
        if (c == '\0') {
            voted.between.back() = std::min(voted.between.back(), share);
        } else {
            voted.text += c;
            voted.agreed.push_back(share);
            voted.doubts.push_back(doubtAt(aligned, i));
            voted.between.push_back(1.0);
            voted.markBetween.push_back(false);
        }
    }
    return voted;
}

// Where `address` stands in `text` as a word of its own, from `from` on; after a "%" or
// "#" too, where the rules joined nothing ("myself %node@...").
std::size_t findWord(std::string_view text, std::string_view address, std::size_t from)
{
    for (std::size_t at = text.find(address, from); at != std::string_view::npos;
         at = text.find(address, at + 1)) {
        if (at == 0 || !isAddressByte(text[at - 1]) || text[at - 1] == '%' || text[at - 1] == '#')
            return at;
    }
    return std::string_view::npos;
}

// Doubts that no vote settles, as the readings share them: a capital I in an address
// otherwise in small letters (more often a misread l or 1 than a capital), and a name
// that may be the tail of one split by a misread space ("okafor5 1@...", "j. tkadlec@...",
// "\url{m yself%node@...}", the word before as the address rules cut words) or by a
// glyph no reading saw ("75@...").
bool lookAlike(std::string_view text, std::size_t at, std::string_view address)
{
    const bool capitalI =
        address.find('I') != std::string_view::npos &&
        std::count_if(address.begin(), address.end(), [](char c) { return c >= 'A' && c <= 'Z'; }) == 1;
    std::string_view before;
    if (at >= 2 && text[at - 1] == ' ') {
        const QByteArrayView line(text.data(), qsizetype(at - 1));
        const auto start = std::size_t(WordStart(line, line.size(), true));
        before = text.substr(start, at - 1 - start);
    }
    const std::string_view name = address.substr(0, address.find('@'));
    // A name, or a mail route's first part, of one character or without letters, one led
    // by punctuation, or one after a "%" or "#" that joins nothing to it, is rarely whole
    // ("l@...", "f%node@...", "75@...", "-booth@...", "myself %node@...").
    const std::string_view head = name.substr(0, name.find_first_of("%#"));
    const bool piece =
        head.size() < 2 ||
        std::none_of(name.begin(), name.end(),
                     [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }) ||
        name.front() == '-' || name.front() == '_' || name.front() == '.' ||
        (at > 0 && (text[at - 1] == '%' || text[at - 1] == '#'));
    return capitalI || piece ||
           MayContinueWordBefore(QByteArrayView(name.data(), qsizetype(name.size())),
                                 QByteArrayView(before.data(), qsizetype(before.size())));
}

// What single readings made of the piece, given to the unsure address they are nearest
// to; where the vote made no address at all, the first becomes an unsure one. A sure
// address's misreadings are no address of their own.
void addAlternatives(const std::vector<Reading> &readings, const AddressRules &rules,
                     std::vector<VotedAddress> &addresses)
{
    const auto known = [&](const std::string &address) {
        for (const VotedAddress &voted : addresses) {
            if (voted.address == address || std::find(voted.alternatives.begin(), voted.alternatives.end(),
                                                      address) != voted.alternatives.end())
                return true;
        }
        return false;
    };
    for (const Reading &reading : readings) {
        for (const QString &found : AddressesIn(reading.text, rules)) {
            const std::string address = found.toStdString();
            if (known(address))
                continue;
            VotedAddress *nearest = nullptr;
            for (VotedAddress &voted : addresses) {
                if (!voted.sure &&
                    (!nearest || distance(voted.address, address) < distance(nearest->address, address)))
                    nearest = &voted;
            }
            if (nearest)
                nearest->alternatives.push_back(address);
            else if (addresses.empty())
                addresses.push_back({address, false, 0.0, {}});
        }
    }
}

// At-signs read as "Q" mended, then the spaces closed by the recognised-text repair's
// rule; the heights follow the bytes they measure.
void mend(Reading &reading, const AddressRules &rules)
{
    reading.heights.resize(reading.text.size());
    const auto drop = [&](std::size_t at) {
        reading.text.erase(at, 1);
        reading.heights.erase(reading.heights.begin() + std::ptrdiff_t(at));
    };
    const std::vector<AtReadAsQ> qs = AtSignsReadAsQ(reading.text, rules);
    for (auto it = qs.rbegin(); it != qs.rend(); ++it) {
        if (it->extra)
            drop(it->at);
        else
            reading.text[it->at] = '@';
    }
    const QList<qsizetype> spaces =
        AtSpacesToClose(QByteArrayView(reading.text.data(), qsizetype(reading.text.size())), true);
    for (auto it = spaces.crbegin(); it != spaces.crend(); ++it)
        drop(std::size_t(*it));
}

} // namespace

PieceVote VoteReadings(std::vector<Reading> readings, const VoteRules &rules)
{
    for (Reading &reading : readings)
        mend(reading, rules.addresses);
    std::erase_if(readings, [](const Reading &reading) { return reading.text.empty(); });
    PieceVote result;
    if (readings.empty())
        return result;
    const VotedText voted = vote(readings, rules);
    result.text = voted.text;
    std::size_t from = 0;
    for (const QString &found : AddressesIn(voted.text, rules.addresses)) {
        std::string address = found.toStdString();
        std::size_t at = findWord(voted.text, address, from);
        if (at == std::string::npos)
            continue;
        // A mark glued to the front ("Tjan.hajer@..." where others read "'jan.hajer@...")
        // goes from the address and from the text.
        if (voted.doubts[at] == Doubt::Mark && IsValidEmail(QByteArrayView(address).sliced(1))) {
            result.text[at] = ' ';
            address.erase(0, 1);
            ++at;
        }
        const std::size_t end = at + address.size();
        double agreed = 1.0;
        // A space beside the address that not every reading has leaves its ends in doubt.
        if (at > 0 && voted.text[at - 1] == ' ')
            agreed = voted.agreed[at - 1];
        if (end < voted.text.size() && voted.text[end] == ' ')
            agreed = std::min(agreed, voted.agreed[end]);
        // So does a glyph before it that some readings take for a route's "%" or a "#": as
        // a page's text reads them, the name would be the tail of a longer one.
        if (at > 0 && voted.doubts[at - 1] == Doubt::Joining)
            agreed = std::min(agreed, voted.agreed[at - 1]);
        for (std::size_t i = at; i < end; ++i) {
            const Doubt doubt = voted.doubts[i];
            const bool settled = doubt == Doubt::None || doubt == Doubt::Mark || doubt == Doubt::Joining;
            agreed = std::min(agreed, settled ? voted.agreed[i] : 0.0);
        }
        // So does one that some readings left out and others kept as a mark ("?Rolf.N...").
        for (std::size_t i = voted.markBetween[at] ? at + 1 : at; i <= end; ++i)
            agreed = std::min(agreed, voted.between[i]);
        const bool sure = agreed >= rules.agreement && !lookAlike(voted.text, at, address);
        if (!sure)
            result.text.replace(at, address.size(), address.size(), ' ');
        result.addresses.push_back({address, sure, agreed, {}});
        from = end;
    }
    addAlternatives(readings, rules.addresses, result.addresses);
    return result;
}

} // namespace pelmora::worker
