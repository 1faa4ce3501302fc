#pragma once

#include "worker/shell/TextEngine.h"

#include <optional>
#include <string>
#include <vector>

namespace pelmora::worker {

// pdftotext's exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitOpenPdf = 1;
constexpr int kExitOutputFile = 2;
// 3, copying not allowed, never comes: like Debian's pdftotext, permissions are not
// enforced (a file restricted by its owner password converts).
constexpr int kExitOther = 99;

struct OneShotOptions
{
    int firstPage = 1;
    int lastPage = 0;
    std::optional<std::string> ownerPassword;
    std::optional<std::string> userPassword;
    std::string pdf;
    std::string output; // "-": standard output
};

struct ParsedOneShot
{
    std::optional<OneShotOptions> options; // nullopt: print the usage
    bool help = false;                     // asked for: the usage, then status 0
};

// pelmora-convert [-f N] [-l M] [-opw PW] [-upw PW] PDF OUT, the options anywhere before
// "--", as pdftotext takes them. Passwords are kept whole, however long.
ParsedOneShot ParseOneShot(const std::vector<std::string> &arguments);

// What the one-shot form needs of the engine behind it: one attempt to open the file with
// the passwords as given, and the engine's own words (pdftotext's) for what went wrong.
class OneShotEngine
{
public:
    virtual ~OneShotEngine() = default;
    virtual OpenResult openOnce(const OneShotOptions &options) = 0;
    virtual void sayWrongRange(int first, int last) = 0;
    virtual void sayOutputFailed(const std::string &output, bool opening) = 0;
};

// Converts one file as pdftotext does; returns pdftotext's exit status. No output file is
// created unless the PDF opened and the page range is valid. `usage` is printed for a
// command line it cannot take.
int RunOneShot(const std::vector<std::string> &arguments, const char *usage, OneShotEngine &engine);

} // namespace pelmora::worker
