#include "worker/shell/MemoryWatch.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdio_ext.h>

namespace pelmora::worker {

namespace {

// poppler's words when its allocator fails (goo/gmem.h).
constexpr char kPopplerWords[] = "Out of memory";

// Standard error's buffer: read in place, so a failure is seen without a pipe of our own.
char g_errors[64 * 1024];
std::atomic<bool> g_failed{false};
std::atomic<bool> g_everFailed{false};

bool errorsSayOutOfMemory()
{
    const std::size_t pending = std::min(::__fpending(stderr), sizeof g_errors);
    return ::memmem(g_errors, pending, kPopplerWords, sizeof kPopplerWords - 1) != nullptr;
}

[[noreturn]] void endOutOfMemory()
{
    constexpr char message[] = "pelmora-convert: out of memory\n";
    [[maybe_unused]] const ssize_t written = ::write(2, message, sizeof message - 1);
    ::_exit(kServeOutOfMemory);
}

void onAbort(int)
{
    if (g_failed || errorsSayOutOfMemory())
        endOutOfMemory();
    std::signal(SIGABRT, SIG_DFL);
    std::raise(SIGABRT);
}

} // namespace

void WatchMemory()
{
    std::setvbuf(stderr, g_errors, _IOFBF, sizeof g_errors);
    std::set_new_handler([] { endOutOfMemory(); });
    std::signal(SIGABRT, &onAbort);
}

void NoteAllocationFailure()
{
    g_failed = true;
    g_everFailed = true;
}

bool TakeAllocationFailure()
{
    const bool failed = g_failed.exchange(false) || errorsSayOutOfMemory();
    if (failed)
        g_everFailed = true;
    std::fflush(stderr);
    return failed;
}

bool AllocationEverFailed()
{
    return g_everFailed;
}

std::string MemoryShortage()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_DATA, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return "needs more memory than the machine has";
    return "needs more memory than the " + std::to_string(limit.rlim_cur / (1024 * 1024)) +
           " MB a converter may use";
}

} // namespace pelmora::worker
