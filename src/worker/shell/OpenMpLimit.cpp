#include "worker/shell/OpenMpLimit.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace pelmora::worker {

void RestartWithOneOpenMpThread(char *argv[])
{
    const char *limit = std::getenv("OMP_THREAD_LIMIT");
    if (limit && *limit)
        return;
    if (::setenv("OMP_THREAD_LIMIT", "1", 1) != 0)
        return;
    ::execv("/proc/self/exe", argv);
    // Still here: serve anyway, with as many threads as libgomp chose.
    std::fprintf(stderr, "pelmora-convert: cannot restart with OMP_THREAD_LIMIT=1: %s\n",
                 std::strerror(errno));
}

} // namespace pelmora::worker
