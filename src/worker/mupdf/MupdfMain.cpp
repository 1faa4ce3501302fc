// pelmora-convert-mupdf: the program's converter with MuPDF instead of poppler, serving
// only. A program of its own: MuPDF is under the GNU Affero GPL, the rest is not.
#include "worker/mupdf/MupdfText.h"
#include "worker/mupdf/MupdfWorkarounds.h"
#include "worker/shell/OneShot.h"
#include "worker/shell/WorkerMain.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    using namespace pelmora::worker;
    return WorkerMain(argc, argv, "pelmora-convert-mupdf", MupdfWorkarounds::LibraryVersion(),
                      MakeMupdfEngine, [](const std::vector<std::string> &) {
                          std::fputs(
                              "Usage: pelmora-convert-mupdf --serve\n"
                              "       pelmora-convert-mupdf --ocr-languages\n"
                              "       pelmora-convert-mupdf --ocr-data LANGS\n"
                              "       pelmora-convert-mupdf --version\n"
                              "Converts PDF files to text with MuPDF, file after file over a pipe, for\n"
                              "Pelmora (see pelmora-convert).\n",
                              stderr);
                          return kExitOther;
                      });
}
