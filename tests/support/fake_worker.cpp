// A stand-in for the converter's serve mode, for tests of what only a process can do: it
// speaks the workers' pipe protocol, reads the fake PDFs (FakePdf.h) and crashes, hangs,
// runs out of memory or floods its standard error when they say so. Every request is
// logged, passwords left out.
#include "FakePdf.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include <unistd.h>

namespace {

using namespace pelmora::protocol;
using pelmora::test::FakePdf;
using pelmora::test::FakeStep;

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

void waitForRelease(const ConvertRequest &request)
{
    while (::access((request.path + ".go").c_str(), F_OK) != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

[[noreturn]] void hang()
{
    for (;;)
        ::pause();
}

void take(const FakeStep &step)
{
    switch (step.kind) {
    case FakeStep::Kind::Event:
        return writeAll(EncodeEvent(step.event));
    case FakeStep::Kind::Noise: {
        const std::string noise(std::size_t(1) << 20, 'e');
        for (int i = step.mebibytes; i > 0; --i)
            std::fwrite(noise.data(), 1, noise.size(), stderr);
        return;
    }
    case FakeStep::Kind::Says:
        std::fwrite(step.said.data(), 1, step.said.size(), stderr);
        std::fflush(stderr);
        return;
    case FakeStep::Kind::Dies:
        // SIGKILL, not SIGSEGV: a sanitizer's handler would write its own report on standard
        // error, and that would become the dying worker's last words under test.
        std::raise(SIGKILL);
        hang();
    case FakeStep::Kind::OutOfMemory:
        std::_Exit(3); // as a worker whose allocation failed under its limit (worker/MemoryWatch.h)
    case FakeStep::Kind::Hangs:
        hang();
    }
}

void convert(const ConvertRequest &request)
{
    appendLine("PELMORA_FAKE_CALLS", FakePdf::logLine(::getpid(), request).toStdString());
    const FakePdf pdf(request);
    for (const FakeStep &step : pdf.steps) {
        std::this_thread::sleep_for(std::chrono::duration<double>(step.delaySeconds));
        if (step.held)
            waitForRelease(request);
        take(step);
    }
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
