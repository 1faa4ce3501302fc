// pelmora-convert: the program's own PDF-to-text converter, with poppler.
#include "worker/OneShot.h"
#include "worker/PdfText.h"
#include "worker/WorkerMain.h"

int main(int argc, char *argv[])
{
    using namespace pelmora::worker;
    return WorkerMain(
        argc, argv, [] { return std::make_unique<PopplerEngine>(); }, RunOneShot);
}
