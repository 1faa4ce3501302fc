#include "cli/ExtractOptions.h"

#include "core/AppError.h"

#include <QCommandLineParser>
#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

int positiveNumber(const QCommandLineParser &parser, const QString &name, QString &error)
{
    if (!parser.isSet(name))
        return 0;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value <= 0)
        error = u"--"_s + name + u" takes a whole number greater than 0, not \""_s + parser.value(name) +
                u"\"."_s;
    return value;
}

} // namespace

ParsedCommandLine ParseExtractCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Collects the e-mail addresses of PDF files. Folders are searched with all their sub-folders.\n"
        u"Addresses go to standard output, one per line, in the order found; files that cannot be read\n"
        u"are listed on standard error. Exit status: 0 when every file was read, 1 when some file could\n"
        u"not be read, 2 on a usage error or when the converter or output file cannot be used,\n"
        u"130 when interrupted."_s);
    parser.addPositionalArgument(u"inputs"_s, u"PDF files and folders, in the order to search them."_s,
                                 u"FILE|FOLDER..."_s);
    const QCommandLineOption help({u"h"_s, u"help"_s}, u"Show this help."_s);
    const QCommandLineOption version(u"version"_s, u"Show the version."_s);
    const QCommandLineOption password(u"password"_s, u"One password for all protected files."_s, u"PW"_s);
    const QCommandLineOption passwordFile(u"password-file"_s,
                                          u"Read the password from the first line of FILE (it then does not "
                                          u"show in the process list)."_s,
                                          u"FILE"_s);
    const QCommandLineOption comma(u"comma"_s, u"All addresses on one line, each followed by a comma."_s);
    const QCommandLineOption output(u"o"_s,
                                    u"Write the addresses to FILE (replaced whole, never half-written) "
                                    u"instead of standard output."_s,
                                    u"FILE"_s);
    const QCommandLineOption quiet({u"q"_s, u"quiet"_s}, u"Do not list the files that could not be read."_s);
    const QCommandLineOption allFiles(u"all-files"_s, u"In folders take every file, not only *.pdf."_s);
    const QCommandLineOption timeout(u"timeout"_s,
                                     u"End a conversion that takes longer than SECONDS and "
                                     u"report its file."_s,
                                     u"SECONDS"_s);
    const QCommandLineOption jobs({u"j"_s, u"jobs"_s}, u"Convert N files at once (default: one per core)."_s,
                                  u"N"_s);
    parser.addOptions({help, version, password, passwordFile, comma, output, quiet, allFiles, timeout, jobs});

    ParsedCommandLine parsed;
    if (!parser.parse(arguments)) {
        parsed.error = parser.errorText();
        return parsed;
    }
    if (parser.isSet(help)) {
        parsed.shortText = parser.helpText();
        return parsed;
    }
    if (parser.isSet(version)) {
        parsed.shortText = u"pelmora-extract " PELMORA_VERSION "\n"_s;
        return parsed;
    }
    ExtractOptions &options = parsed.options;
    options.inputs = parser.positionalArguments();
    if (parser.isSet(password))
        options.password = parser.value(password);
    options.passwordFile = parser.value(passwordFile);
    options.outputFile = parser.value(output);
    options.comma = parser.isSet(comma);
    options.quiet = parser.isSet(quiet);
    options.allFiles = parser.isSet(allFiles);
    options.timeoutSeconds = positiveNumber(parser, timeout.names().constFirst(), parsed.error);
    options.jobs = positiveNumber(parser, u"jobs"_s, parsed.error);
    if (options.password && !options.passwordFile.isEmpty())
        parsed.error = u"Give either --password or --password-file, not both."_s;
    if (options.inputs.isEmpty() && parsed.error.isEmpty())
        parsed.error = u"No PDF files or folders given."_s;
    return parsed;
}

QString ReadPasswordFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(u"The password file "_s + path + u" cannot be read: "_s + file.errorString());
    QByteArray line = file.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

} // namespace pelmora
