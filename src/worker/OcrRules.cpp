#include "worker/OcrRules.h"

#include <algorithm>

namespace pelmora::worker {

namespace {

bool isBlank(std::string_view line)
{
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

} // namespace

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

std::string BlankUnsureWords(std::string recognised, const std::vector<RecognisedWord> &words,
                             float minConfidence)
{
    std::size_t from = 0;
    for (const RecognisedWord &word : words) {
        if (word.text.empty())
            continue;
        const std::size_t at = recognised.find(word.text, from);
        if (at == std::string::npos)
            continue;
        if (word.confidence < minConfidence)
            recognised.replace(at, word.text.size(), word.text.size(), ' ');
        from = at + word.text.size();
    }
    return recognised;
}

} // namespace pelmora::worker
