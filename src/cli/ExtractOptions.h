#pragma once

#include "convert/ConverterChoice.h"
#include "extract/AddressRules.h"
#include "results/ResultsFile.h"
#include "run/BatchRun.h"

#include <QString>
#include <QStringList>

namespace pelmora {

// What the command line asked for.
struct ExtractOptions
{
    QStringList inputs;
    QStringList passwords; // given with --password, in order
    QString passwordFile;  // one password per line
    QString outputFile;
    bool forceOutput = false; // -o may name a PDF
    ResultsFormat format = ResultsFormat::LineList;
    PdfEngine engine = kDefaultEngine; // of the converter workers
    QString ocrLanguages;              // empty: pages without text stay unread
    bool ocrUnsure = false;            // list the recognised addresses left out as unsure
    QString filesFrom;                 // a list of inputs, one per line ("-": standard input)
    bool nullSeparated = false;        // the list's inputs end with NUL, not a line end
    bool links = true;
    bool anyDomain = false; // no check of the top-level domain
    bool disguised = false;
    QStringList excludedDomains; // patterns, or "@FILE" for the patterns of FILE
    QStringList onlyDomains;
    bool merge = false; // the inputs are JSON Lines results to merge
    bool quiet = false;
    bool allFiles = false;
    bool followLinks = false; // folder walks enter links to folders and take links out of the tree
    bool hidden = false;      // folder walks read hidden files and folders too
    int timeoutSeconds = kDefaultTimeoutMs / 1000; // for opening a file and for each page; 0: none
    int jobs = 0;                                  // 0: one per processor core
    bool cache = true;
    QString cacheFolder; // the default one unless --cache-dir names another
    bool clearCache = false;
};

struct ParsedCommandLine
{
    ExtractOptions options;
    QString error;     // a usage error, in words for standard error
    QString shortText; // --help text, to print and exit with 0
    bool versionAsked = false;
};

// `arguments` as the system gave them (see CommandLineArguments): file names that are
// not UTF-8 keep their bytes.
ParsedCommandLine ParseExtractCommandLine(const QStringList &arguments);

// argv as text, each argument through PathFromNative.
QStringList CommandLineArguments(int argc, char *argv[]);

// The rules the options ask for, with the patterns of every "@FILE" (ReadDomainPatterns).
// Throws AppError.
AddressRules ReadAddressRules(const ExtractOptions &options);

// Throws AppError, in the user's words, when `path` cannot be written: its folder is
// missing or closed to us, or the name is a folder's; or, unless `force`, it ends in ".pdf" or
// holds a PDF already (a file named "-o" among the names of a glob). Nothing is left behind.
void CheckOutputFile(const QString &path, bool force);

// The files the options name for lists: --password-file, --files-from (not standard input)
// and every "@FILE" of the domain patterns.
QStringList ListFiles(const ExtractOptions &options);

// Throws AppError when `path` is one of `inputs` (the same file by device and inode, under any
// name): writing it would replace what the run reads.
void CheckOutputIsNoInput(const QString &path, const QStringList &inputs);

} // namespace pelmora
