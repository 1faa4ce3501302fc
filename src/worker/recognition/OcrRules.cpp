#include "worker/recognition/OcrRules.h"

#include "extract/AddressExtraction.h"

#include <algorithm>

namespace pelmora::worker {

namespace {

bool isBlank(std::string_view line)
{
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

PixelRect united(PixelRect a, PixelRect b)
{
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

// Characters that join the two sides of an address: a gap beside them is a misread space.
// A typewriter's wide dot is read with a space before it, sometimes as a hyphen or a comma.
bool joins(char before, char after)
{
    return before == '@' || before == '.' || before == '_' || before == '-' || after == '@' || after == '.' ||
           after == '-' || after == ',';
}

// True when word `i` stands on the piece's line of print, right beside it: close enough
// to be one word with it, or a little further where an at-sign or a dot joins them.
bool readsOn(const std::vector<PageWord> &words, const AddressPiece &piece, std::size_t i, double xHeight)
{
    const PixelRect &box = words[i].box;
    const int overlap = std::min(box.bottom, piece.box.bottom) - std::max(box.top, piece.box.top);
    if (overlap * 2 < std::min(box.height(), piece.box.height()) || xHeight <= 0)
        return false;
    const PageWord &first = words[piece.words.front()];
    const PageWord &last = words[piece.words.back()];
    if (first.text.empty() || last.text.empty() || words[i].text.empty())
        return false;
    int gap = 0;
    bool joined = false;
    if (box.left >= piece.box.right) {
        gap = box.left - piece.box.right;
        joined = joins(last.text.back(), words[i].text.front());
    } else if (box.right <= piece.box.left) {
        gap = piece.box.left - box.right;
        joined = joins(words[i].text.back(), first.text.front());
    } else {
        return false; // overlapping words belong to other lines of print
    }
    return gap < (joined ? 1.5 : 0.45) * xHeight;
}

bool isSmallOrDigit(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

} // namespace

QStringList AddressesIn(std::string_view text, const AddressRules &rules)
{
    SeenAddresses seen;
    return ExtractEmailToArray(QByteArrayView(text.data(), qsizetype(text.size())), seen, rules);
}

std::vector<AtReadAsQ> AtSignsReadAsQ(std::string_view text, const AddressRules &rules)
{
    std::vector<AtReadAsQ> found;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find(' ', start), text.size());
        const std::string_view word = text.substr(start, end - start);
        const bool hasAt = word.find('@') != std::string_view::npos;
        for (std::size_t k = 1; k + 1 < word.size(); ++k) {
            if (word[k] != 'Q' || !isSmallOrDigit(word[k - 1]))
                continue;
            if (word[k + 1] == '@') {
                found.push_back({start + k, true});
            } else if (!hasAt && isSmallOrDigit(word[k + 1])) {
                std::string mended(word);
                mended[k] = '@';
                if (!AddressesIn(mended, rules).isEmpty()) {
                    found.push_back({start + k, false});
                    break;
                }
            }
        }
        start = end + 1;
    }
    return found;
}

std::string WithAtSignsReadAsQ(std::string text, const AddressRules &rules)
{
    const std::vector<AtReadAsQ> edits = AtSignsReadAsQ(text, rules);
    for (auto it = edits.rbegin(); it != edits.rend(); ++it) {
        if (it->extra)
            text.erase(it->at, 1);
        else
            text[it->at] = '@';
    }
    return text;
}

std::string PageTextFromRecognised(std::string_view recognised)
{
    std::vector<std::string_view> lines;
    std::size_t at = 0;
    while (at < recognised.size()) {
        const std::size_t end = recognised.find_first_of("\r\n", at);
        if (end == std::string_view::npos) {
            lines.push_back(recognised.substr(at));
            break;
        }
        lines.push_back(recognised.substr(at, end - at));
        at = end + 1;
        if (recognised[end] == '\r' && at < recognised.size() && recognised[at] == '\n')
            ++at;
    }
    while (!lines.empty() && isBlank(lines.back()))
        lines.pop_back();
    std::string text;
    for (const std::string_view line : lines) {
        text += line;
        text += '\n';
    }
    text += '\f';
    return text;
}

std::string PageTextOfWords(const std::vector<PageWord> &words, float minConfidence,
                            const std::map<std::size_t, std::string> &replaced)
{
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const PageWord &word = words[i];
        if (i > 0)
            text += word.startsParagraph ? "\n\n" : word.startsLine ? "\n" : " ";
        if (const auto replacement = replaced.find(i); replacement != replaced.end())
            text += replacement->second;
        else if (word.confidence < minConfidence)
            text.append(word.text.size(), ' ');
        else
            text += word.text;
    }
    if (!text.empty())
        text += '\n';
    return text;
}

std::vector<AddressPiece> FindAddressPieces(const std::vector<PageWord> &words,
                                            const std::vector<LineShape> &lines, const AddressRules &rules)
{
    std::vector<AddressPiece> pieces;
    std::vector<bool> taken(words.size(), false);
    for (std::size_t seed = 0; seed < words.size(); ++seed) {
        if (taken[seed] || WithAtSignsReadAsQ(words[seed].text, rules).find('@') == std::string::npos)
            continue;
        AddressPiece piece{{seed}, words[seed].box, words[seed].line};
        taken[seed] = true;
        const std::size_t line = std::size_t(std::max(0, piece.line));
        const double xHeight = line < lines.size() ? lines[line].xHeight : 0;
        for (bool grown = true; grown;) {
            grown = false;
            for (std::size_t i = 0; i < words.size(); ++i) {
                if (taken[i] || !readsOn(words, piece, i, xHeight))
                    continue;
                piece.words.push_back(i);
                piece.box = united(piece.box, words[i].box);
                taken[i] = true;
                grown = true;
            }
            std::sort(piece.words.begin(), piece.words.end(),
                      [&](std::size_t a, std::size_t b) { return words[a].box.left < words[b].box.left; });
        }
        pieces.push_back(std::move(piece));
    }
    return pieces;
}

} // namespace pelmora::worker
