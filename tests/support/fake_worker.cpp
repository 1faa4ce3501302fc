// A stand-in for the converter's serve mode, for tests: it speaks the workers' pipe
// protocol and reads the fake PDFs of FakeConverter (a directive line, then the text;
// the text's form feeds end its pages). Every request is logged, passwords left out.
#include "convert/WorkerProtocol.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace pelmora::protocol;

void writeAll(const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(1, bytes.data() + done, bytes.size() - done);
        if (written <= 0)
            std::_Exit(2);
        done += static_cast<std::size_t>(written);
    }
}

void appendLine(const char *variable, const std::string &line)
{
    if (const char *path = std::getenv(variable)) {
        std::ofstream log(path, std::ios::app);
        log << line << '\n';
    }
}

void answer(Outcome outcome, int pages = 0)
{
    writeAll(EncodeEvent(PageEvent::opened(outcome, pages)));
}

void done()
{
    writeAll(EncodeEvent(PageEvent::done()));
}

std::vector<std::string> pagesOf(const std::string &text)
{
    std::vector<std::string> pages;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = text.find('\f', from);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        pages.push_back(text.substr(from, next - from));
        from = next;
    }
    return pages;
}

void waitForRelease(const ConvertRequest &request)
{
    while (::access((request.path + ".go").c_str(), F_OK) != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// A scan's pages hold no text of their own; recognised, they hold the text.
enum class Pages
{
    Text,
    Scanned,
    ScannedHeld
};

void sendText(const ConvertRequest &request, const std::string &text, Pages kind = Pages::Text)
{
    const bool scanned = kind != Pages::Text;
    const std::vector<std::string> pages = pagesOf(text);
    const int first = std::max(1, request.firstPage);
    const int last =
        request.lastPage > 0 ? std::min<int>(request.lastPage, int(pages.size())) : int(pages.size());
    const int count = std::max(0, last - first + 1);
    answer(Outcome::Text, count);
    for (int page = first; page <= last; ++page) {
        if (scanned && request.recognise) {
            writeAll(EncodeEvent(PageEvent::recognising(page, count)));
            if (kind == Pages::ScannedHeld)
                waitForRelease(request);
        }
        const std::string &pageText = pages[std::size_t(page - 1)];
        writeAll(EncodeEvent(PageEvent::text(page, scanned && !request.recognise ? "\f" : pageText)));
        writeAll(EncodeEvent(PageEvent::pageEnd(page)));
    }
    done();
}

void convert(const ConvertRequest &request)
{
    std::ostringstream entry;
    entry << ::getpid() << ' ' << request.path << " passwords=" << request.passwords.size()
          << " pages=" << request.firstPage << '-' << request.lastPage << " ocr=" << request.recognise
          << " links=" << request.links;
    appendLine("PELMORA_FAKE_CALLS", entry.str());

    struct stat info
    {
    };
    if (::stat(request.path.c_str(), &info) != 0)
        return answer(Outcome::Damaged), done();
    if (!S_ISREG(info.st_mode))
        return answer(Outcome::NotRegular), done();
    std::ifstream file(request.path, std::ios::binary);
    std::string directive;
    std::getline(file, directive);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto argument = [&](const char *word) { return directive.substr(std::string(word).size()); };
    const auto starts = [&](const char *word) { return directive.rfind(word, 0) == 0; };

    if (starts("NEEDS ")) {
        const std::string password = argument("NEEDS ");
        bool opens = false;
        for (const std::string &candidate : request.passwords)
            opens = opens || candidate == password;
        if (!opens)
            return answer(request.passwords.empty() ? Outcome::NeedsPassword : Outcome::WrongPassword),
                   done();
    } else if (starts("SLEEP ")) {
        std::this_thread::sleep_for(std::chrono::duration<double>(std::stod(argument("SLEEP "))));
    } else if (directive == "NOTHING") {
        return answer(Outcome::Damaged), done();
    } else if (directive == "HANG") {
        for (;;)
            ::pause();
    } else if (directive == "WAIT") {
        waitForRelease(request);
    } else if (starts("CRASH ")) {
        // The pages that fit whole in <bytes> end as pages; the rest is cut off mid-page.
        const std::vector<std::string> pages = pagesOf(text.substr(0, std::stoul(argument("CRASH "))));
        answer(Outcome::Text, int(pagesOf(text).size()));
        for (std::size_t page = 0; page < pages.size(); ++page) {
            writeAll(EncodeEvent(PageEvent::text(int(page + 1), pages[page])));
            if (pages[page].ends_with('\f'))
                writeAll(EncodeEvent(PageEvent::pageEnd(int(page + 1))));
        }
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        std::raise(SIGSEGV);
    } else if (starts("STALL ")) {
        // Opens, waits to be released, gives the first <n> pages and then nothing more.
        const std::vector<std::string> pages = pagesOf(text);
        answer(Outcome::Text, int(pages.size()));
        waitForRelease(request);
        for (int page = 1; page <= std::stoi(argument("STALL ")); ++page) {
            writeAll(EncodeEvent(PageEvent::text(page, pages[std::size_t(page - 1)])));
            writeAll(EncodeEvent(PageEvent::pageEnd(page)));
        }
        for (;;)
            ::pause();
    } else if (directive == "OUT OF MEMORY") {
        // As a worker whose allocation failed under its limit (worker/MemoryWatch.h).
        answer(Outcome::Text, int(pagesOf(text).size()));
        std::_Exit(3);
    } else if (directive == "SCAN") {
        return sendText(request, text, Pages::Scanned);
    } else if (directive == "SCAN HELD") {
        return sendText(request, text, Pages::ScannedHeld);
    } else if (starts("NOISY ")) {
        const std::string noise(std::size_t(1) << 20, 'e');
        for (int i = std::stoi(argument("NOISY ")); i > 0; --i)
            std::fwrite(noise.data(), 1, noise.size(), stderr);
    }
    sendText(request, text);
}

} // namespace

int main()
{
    appendLine("PELMORA_FAKE_PIDS", std::to_string(::getpid()));
    FrameReader reader;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(0, buffer, sizeof buffer);
        if (got <= 0)
            return 0;
        reader.feed(std::string_view(buffer, std::size_t(got)));
        while (std::optional<Frame> frame = reader.next()) {
            // Stops are read only between files: this stand-in always converts the whole
            // range, as a worker does that is past the page it is told to stop after.
            if (DecodeStopAfter(*frame))
                continue;
            const std::optional<ConvertRequest> request = DecodeRequest(*frame);
            if (!request)
                return 1;
            convert(*request);
        }
        if (reader.broken())
            return 1;
    }
}
