#pragma once

#include "convert/ConverterChoice.h"

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
    ConverterKind converter = ConverterKind::Service;
    bool comma = false;
    bool quiet = false;
    bool allFiles = false;
    int timeoutSeconds = 0;
    int jobs = 0; // 0: one per processor core
};

struct ParsedCommandLine
{
    ExtractOptions options;
    QString error;     // a usage error, in words for standard error
    QString shortText; // --help or --version text, to print and exit with 0
};

// `arguments` as the system gave them (see CommandLineArguments): file names that are
// not UTF-8 keep their bytes.
ParsedCommandLine ParseExtractCommandLine(const QStringList &arguments);

// argv as text, each argument through PathFromNative.
QStringList CommandLineArguments(int argc, char *argv[]);

// The passwords of a password file, one per line, without line ends; empty lines are
// left out. Throws AppError.
QStringList ReadPasswordFile(const QString &path);

// Throws AppError, in the user's words, when `path` cannot be written: its folder is
// missing or closed to us, or the name is a folder's. Nothing is left behind.
void CheckOutputFile(const QString &path);

} // namespace pelmora
