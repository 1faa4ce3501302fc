#include "worker/shell/WorkerMain.h"

#include "core/CoreDumps.h"
#include "worker/recognition/TessData.h"
#include "worker/shell/FdIo.h"
#include "worker/shell/OneShot.h"
#include "worker/shell/OpenMpLimit.h"
#include "worker/shell/ParentWatch.h"
#include "worker/shell/ServeMode.h"
#include "worker/shell/TextEngine.h"
#include "worker/shell/Versions.h"

#include <cstdio>

namespace pelmora::worker {

int WorkerMain(int argc, char *argv[], std::string_view program, std::string_view pdfLibrary,
               const std::function<std::unique_ptr<TextEngine>()> &makeEngine,
               const std::function<int(const std::vector<std::string> &arguments)> &other)
{
    // First of all, so a worker whose program was killed never lingers.
    if (!DieWithParent())
        return kExitOther;
    // A worker holds password candidates too.
    KeepOutOfCoreDumps();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 1 && arguments[0] == "--version")
        return PrintVersions(program, pdfLibrary);
    if (arguments.size() == 1 && arguments[0] == "--ocr-languages")
        return PrintOcrLanguages();
    if (arguments.size() == 2 && arguments[0] == "--ocr-data")
        return PrintVersions(program, pdfLibrary) != 0 ? 1 : PrintOcrData(arguments[1]);
    if (arguments.empty() || arguments[0] != "--serve")
        return other(arguments);
    if (arguments.size() != 1)
        return other({}); // the usage
    RestartWithOneOpenMpThread(argv);
    const std::unique_ptr<TextEngine> engine = makeEngine();
    if (!engine) {
        std::fputs("pelmora-convert: the PDF library cannot start\n", stderr);
        return kExitOther;
    }
    const int frames = SetStandardOutputAside();
    return Serve(0, frames >= 0 ? frames : 1, *engine);
}

} // namespace pelmora::worker
