// pelmora-convert: the program's own PDF-to-text converter, with poppler.
#include "worker/poppler/PdfText.h"
#include "worker/shell/OneShot.h"
#include "worker/shell/WorkerMain.h"

#include <Error.h>
#include <poppler-config.h>

namespace {

using namespace pelmora::worker;

constexpr const char *kUsage =
    "Usage: pelmora-convert [-f N] [-l M] [-opw PW] [-upw PW] PDF OUT\n"
    "       pelmora-convert --serve\n"
    "       pelmora-convert --ocr-languages\n"
    "       pelmora-convert --ocr-data LANGS\n"
    "       pelmora-convert --version\n"
    "Writes the text of PDF to OUT (\"-\": standard output) as pdftotext does with its\n"
    "default options. --serve converts file after file over a pipe. --ocr-languages\n"
    "lists the installed text recognition languages. --version prints the versions of\n"
    "this program and of the poppler, tesseract and leptonica libraries it runs with;\n"
    "--ocr-data prints them too, then the path, size and time of the data file of each\n"
    "language of LANGS (such as eng+deu).\n";

// pdftotext's command form: one attempt with the passwords as given, poppler's messages on
// standard error as pdftotext's are.
class PdftotextForm : public OneShotEngine
{
public:
    PdftotextForm() : m_session(false) {}
    OpenResult openOnce(const OneShotOptions &options) override
    {
        return OpenOnce(options.pdf, options.ownerPassword, options.userPassword);
    }
    void sayWrongRange(int first, int last) override
    {
        error(errCommandLine, -1,
              "Wrong page range given: the first page ({0:d}) can not be after the last page ({1:d}).", first,
              last);
    }
    void sayOutputFailed(const std::string &output, bool opening) override
    {
        error(errIO, -1, opening ? "Couldn't open text file '{0:s}'" : "Couldn't write text file '{0:s}'",
              output.c_str());
    }

private:
    PopplerSession m_session;
};

} // namespace

int main(int argc, char *argv[])
{
    // poppler's core library has no version call; its soname changes with every release,
    // so the library loaded is the one these headers came with.
    return WorkerMain(
        argc, argv, "pelmora-convert", "poppler " POPPLER_VERSION,
        [] { return std::make_unique<PopplerEngine>(); },
        [](const std::vector<std::string> &arguments) {
            PdftotextForm form;
            return RunOneShot(arguments, kUsage, form);
        });
}
