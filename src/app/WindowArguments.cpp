#include "app/WindowArguments.h"

#include "core/NativePath.h"

#include <cstring>

namespace pelmora {

WindowArguments SplitWindowArguments(int argc, const char *const argv[])
{
    WindowArguments split{argc, {}};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            split.toolkitCount = i;
            for (int file = i + 1; file < argc; ++file)
                split.filesAfter.append(PathFromNative(argv[file]));
            break;
        }
    }
    return split;
}

} // namespace pelmora
