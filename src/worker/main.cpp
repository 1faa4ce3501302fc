// pelmora-convert: the program's own PDF-to-text converter, with poppler.
#include "worker/OneShot.h"
#include "worker/PdfText.h"
#include "worker/Versions.h"
#include "worker/WorkerMain.h"

#include <poppler-config.h>

int main(int argc, char *argv[])
{
    using namespace pelmora::worker;
    return WorkerMain(
        argc, argv, [] { return std::make_unique<PopplerEngine>(); },
        [](const std::vector<std::string> &arguments) {
            // poppler's core library has no version call; its soname changes with every
            // release, so the library loaded is the one these headers came with.
            if (arguments == std::vector<std::string>{"--version"})
                return PrintVersions("pelmora-convert", "poppler " POPPLER_VERSION);
            return RunOneShot(arguments);
        });
}
