#include "worker/shell/OneShot.h"

#include <charconv>
#include <cstdio>
#include <limits>
#include <string_view>

namespace pelmora::worker {

namespace {

// pdftotext takes a sign and digits (atoi); far too large numbers just mean "past the end".
std::optional<int> pageNumber(std::string_view text)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || end != text.data() + text.size())
        return std::nullopt;
    if (error == std::errc::result_out_of_range)
        return text.front() == '-' ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
    if (error != std::errc())
        return std::nullopt;
    if (value > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (value < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

class FileSink : public PageSink
{
public:
    explicit FileSink(std::FILE *file) : m_file(file) {}
    // A failed write ends the conversion: the rest could not be written either.
    bool take(const protocol::PageEvent &event) override
    {
        if (event.type != protocol::FrameType::Text)
            return true;
        return std::fwrite(event.bytes.data(), 1, event.bytes.size(), m_file) == event.bytes.size();
    }

private:
    std::FILE *m_file;
};

} // namespace

ParsedOneShot ParseOneShot(const std::vector<std::string> &arguments)
{
    ParsedOneShot parsed;
    OneShotOptions options;
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (optionsEnded) {
            positional.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-h" || argument == "-help" || argument == "--help" || argument == "-?") {
            parsed.help = true;
            return parsed;
        } else if (argument == "-f" || argument == "-l") {
            const std::optional<int> number = hasValue ? pageNumber(arguments[i + 1]) : std::nullopt;
            if (!number)
                return parsed;
            (argument == "-f" ? options.firstPage : options.lastPage) = *number;
            ++i;
        } else if (argument == "-opw" || argument == "-upw") {
            if (!hasValue)
                return parsed;
            (argument == "-opw" ? options.ownerPassword : options.userPassword) = arguments[i + 1];
            ++i;
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 2)
        return parsed;
    options.pdf = positional[0];
    options.output = positional[1];
    parsed.options = std::move(options);
    return parsed;
}

int RunOneShot(const std::vector<std::string> &arguments, const char *usage, OneShotEngine &engine)
{
    const ParsedOneShot parsed = ParseOneShot(arguments);
    if (!parsed.options) {
        std::fputs(usage, stderr);
        return parsed.help ? kExitOk : kExitOther;
    }
    const OneShotOptions &options = *parsed.options;
    OpenResult opened = engine.openOnce(options);
    if (!opened.document)
        return kExitOpenPdf;

    const int pages = opened.document->pageCount();
    const std::optional<PageRange> range = ClampRange(options.firstPage, options.lastPage, pages);
    if (!range) {
        const int first = options.firstPage < 1 ? 1 : options.firstPage;
        const int last = options.lastPage < 1 || options.lastPage > pages ? pages : options.lastPage;
        engine.sayWrongRange(first, last);
        return kExitOther;
    }

    const bool toStandardOutput = options.output == "-";
    std::FILE *file = toStandardOutput ? stdout : std::fopen(options.output.c_str(), "wb");
    if (!file) {
        engine.sayOutputFailed(options.output, true);
        return kExitOutputFile;
    }
    FileSink sink(file);
    opened.document->convert(*range, ConvertOptions{}, sink);
    // pdftotext ignores a failed write; a cut-short text must not pass for a whole one.
    const bool written = std::fflush(file) == 0 && !std::ferror(file);
    const bool closed = toStandardOutput || std::fclose(file) == 0;
    if (!written || !closed) {
        engine.sayOutputFailed(options.output, false);
        return kExitOutputFile;
    }
    return kExitOk;
}

} // namespace pelmora::worker
