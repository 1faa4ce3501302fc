#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace pelmora {

// What the command line asked for.
struct ExtractOptions
{
    QStringList inputs;
    std::optional<QString> password;
    QString passwordFile;
    QString outputFile;
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

ParsedCommandLine ParseExtractCommandLine(const QStringList &arguments);

// The first line of a password file, without its line end. Throws AppError.
QString ReadPasswordFile(const QString &path);

} // namespace pelmora
