#include "worker/ParentWatch.h"

#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

namespace pelmora::worker {

bool DieWithParent()
{
    const pid_t parent = ::getppid();
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0)
        return false;
    // A parent that died before prctl would go unnoticed: we were re-parented already.
    return ::getppid() == parent;
}

void KeepOutOfCoreDumps()
{
    // Not dumpable covers core handlers that ignore the size limit (a pipe in core_pattern).
    ::prctl(PR_SET_DUMPABLE, 0);
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
}

} // namespace pelmora::worker
