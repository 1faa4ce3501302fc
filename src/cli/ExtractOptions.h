#pragma once

#include "results/ResultsFile.h"
#include "run/RunRequest.h"

#include <QString>
#include <QStringList>

namespace pelmora {

// What the command line asked for, by theme.
struct ExtractOptions
{
    // What the run is asked, but for what lists and folders give (ReadRunRequest): the
    // passwords of --password, the reading choices (engine, links, recognition, timeout,
    // jobs) and the cache.
    RunRequest run;
    // Files: the inputs, the list of --files-from ("-": standard input, one per line or
    // ended by NUL), and how folders are walked.
    QStringList inputs;
    QString filesFrom;
    bool nullSeparated = false;
    bool allFiles = false;
    bool followLinks = false; // folder walks enter links to folders and take links out of the tree
    bool hidden = false;      // folder walks read hidden files and folders too
    // Passwords: one per line.
    QString passwordFile;
    // Addresses: the domain patterns as given, "@FILE" for the patterns of FILE.
    AddressChoices addresses;
    // Output.
    ResultsFormat format = ResultsFormat::LineList;
    QString outputFile;
    bool forceOutput = false; // -o may name a PDF
    bool quiet = false;
    bool ocrUnsure = false; // list the recognised addresses left out as unsure
    bool merge = false;     // the inputs are JSON Lines results to merge
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
// Throws AppError, for a pattern that is no domain too.
AddressRules ReadAddressRules(const ExtractOptions &options);

// What the options ask of a run, with the lists they name read (passwords, patterns); the
// files are left to the folder walk. Throws AppError.
RunRequest ReadRunRequest(const ExtractOptions &options);

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
