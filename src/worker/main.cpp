// pelmora-convert: the program's own PDF-to-text converter.
#include "worker/FdIo.h"
#include "worker/OneShot.h"
#include "worker/OpenMpLimit.h"
#include "worker/ParentWatch.h"
#include "worker/ServeMode.h"
#include "worker/TessData.h"
#include "worker/Versions.h"

#include <string>
#include <vector>

int main(int argc, char *argv[])
{
    // First of all, so a worker whose program was killed never lingers.
    if (!pelmora::worker::DieWithParent())
        return pelmora::worker::kExitOther;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 1 && arguments[0] == "--version")
        return pelmora::worker::PrintVersions();
    if (arguments.size() == 1 && arguments[0] == "--ocr-languages")
        return pelmora::worker::PrintOcrLanguages();
    if (arguments.size() == 2 && arguments[0] == "--ocr-data")
        return pelmora::worker::PrintVersions() != 0 ? 1 : pelmora::worker::PrintOcrData(arguments[1]);
    if (!arguments.empty() && arguments[0] == "--serve") {
        if (arguments.size() != 1)
            return pelmora::worker::RunOneShot({}); // the usage
        pelmora::worker::RestartWithOneOpenMpThread(argv);
        const int frames = pelmora::worker::SetStandardOutputAside();
        return pelmora::worker::Serve(0, frames >= 0 ? frames : 1);
    }
    return pelmora::worker::RunOneShot(arguments);
}
