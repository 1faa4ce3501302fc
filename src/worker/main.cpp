// pelmora-convert: the program's own PDF-to-text converter, with poppler.
#include "worker/OneShot.h"
#include "worker/PdfText.h"
#include "worker/WorkerMain.h"

#include <poppler-config.h>

int main(int argc, char *argv[])
{
    using namespace pelmora::worker;
    // poppler's core library has no version call; its soname changes with every release,
    // so the library loaded is the one these headers came with.
    return WorkerMain(
        argc, argv, "pelmora-convert", "poppler " POPPLER_VERSION,
        [] { return std::make_unique<PopplerEngine>(); }, RunOneShot);
}
