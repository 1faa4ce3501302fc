#include "core/CoreDumps.h"

#include <sys/prctl.h>
#include <sys/resource.h>

namespace pelmora {

void KeepOutOfCoreDumps()
{
    // Not dumpable covers core handlers that ignore the size limit (a pipe in core_pattern).
    ::prctl(PR_SET_DUMPABLE, 0);
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
}

} // namespace pelmora
