#include "worker/shell/ParentWatch.h"

#include <sys/prctl.h>
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

} // namespace pelmora::worker
