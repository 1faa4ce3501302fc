#include "cli/ExtractOptions.h"

#include "cache/ResultsCache.h"
#include "cli/InputLists.h"
#include "core/AppError.h"
#include "core/NativePath.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <functional>

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// A whole number of 0 or more, `otherwise` when not given.
int wholeNumber(const QCommandLineParser &parser, const QString &name, int otherwise, QString &error)
{
    if (!parser.isSet(name))
        return otherwise;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < 0)
        error =
            u"--"_s + name + u" takes a whole number of 0 or more, not \""_s + parser.value(name) + u"\"."_s;
    return value;
}

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

// The options of one theme: what they are, and what they set. A usage error goes to
// `error`, the last one found winning.
struct Theme
{
    QList<QCommandLineOption> options;
    std::function<void(const QCommandLineParser &parser, ExtractOptions &options, QString &error)> read;
};

Theme outputTheme()
{
    const QCommandLineOption comma(u"comma"_s, u"The same as --format comma."_s);
    const QCommandLineOption format(
        u"format"_s,
        u"lines (the default: one address per line), comma (all on one line, each "
        u"followed by a comma), csv (address,file,page,count,via,repaired,inside with a header; a "
        u"cell that begins like a spreadsheet formula gets an apostrophe in front) or jsonl (one "
        u"JSON object per address with its file, page, count, via: text, link, recognised, "
        u"disguised, annotation, form, metadata or attachment, repaired: the repairs that made it, "
        u"such as joined, and inside: the attached file it came from; both empty for most)."_s,
        u"NAME"_s);
    const QCommandLineOption output(u"o"_s,
                                    u"Write the addresses to FILE (replaced whole, never half-written) "
                                    u"instead of standard output. FILE is never one of the inputs, nor a "
                                    u"PDF unless forced."_s,
                                    u"FILE"_s);
    const QCommandLineOption forceOutput(u"force-output"_s,
                                         u"Let -o replace a file whose name ends in .pdf or that holds a PDF "
                                         u"(never one of the inputs)."_s);
    const QCommandLineOption quiet({u"q"_s, u"quiet"_s}, u"Do not list the files that could not be read."_s);
    const QCommandLineOption merge(u"merge"_s,
                                   u"Merge the JSON Lines results of runs over consecutive parts of one "
                                   u"list: the first sighting of each address is kept, counts add up."_s);
    return {{comma, format, output, forceOutput, quiet, merge},
            [=](const QCommandLineParser &parser, ExtractOptions &options, QString &error) {
                options.outputFile = parser.value(output);
                options.forceOutput = parser.isSet(forceOutput);
                if (options.forceOutput && options.outputFile.isEmpty())
                    error = u"--force-output is about the file of -o; give that too."_s;
                if (parser.isSet(format)) {
                    const QString name = parser.value(format);
                    const QList<std::pair<QString, ResultsFormat>> formats{
                        {u"lines"_s, ResultsFormat::LineList},
                        {u"comma"_s, ResultsFormat::CommaList},
                        {u"csv"_s, ResultsFormat::Csv},
                        {u"jsonl"_s, ResultsFormat::JsonLines}};
                    const auto known = std::find_if(formats.begin(), formats.end(),
                                                    [&](const auto &each) { return each.first == name; });
                    if (known == formats.end())
                        error = u"--format takes lines, comma, csv or jsonl, not \""_s + name + u"\"."_s;
                    else
                        options.format = known->second;
                    if (parser.isSet(comma) && options.format != ResultsFormat::CommaList)
                        error = u"--comma is --format comma; give one of them."_s;
                } else if (parser.isSet(comma)) {
                    options.format = ResultsFormat::CommaList;
                }
                options.quiet = parser.isSet(quiet);
                options.merge = parser.isSet(merge);
            }};
}

Theme passwordTheme()
{
    const QCommandLineOption password(u"password"_s,
                                      u"A password for protected files; give it again for more. Each is "
                                      u"tried in turn on every protected file."_s,
                                      u"PW"_s);
    const QCommandLineOption passwordFile(u"password-file"_s,
                                          u"Read passwords from FILE, one per line (they then do not show in "
                                          u"the process list)."_s,
                                          u"FILE"_s);
    return {{password, passwordFile},
            [=](const QCommandLineParser &parser, ExtractOptions &options, QString &) {
                for (const QString &given : parser.values(password))
                    options.run.passwords.append(PasswordFromBytes(NativePath(given)));
                options.passwordFile = parser.value(passwordFile);
            }};
}

Theme addressTheme()
{
    const QCommandLineOption anyDomain(
        u"any-domain"_s, u"Keep addresses whatever their top-level domain; by default it must be "
                         u"one of the Public Suffix List (so ver@array.sty and logo@2x.png are "
                         u"left out)."_s);
    const QCommandLineOption disguised(
        u"disguised"_s, u"Also take addresses written in disguise: name [at] example [dot] org, "
                        u"name (at) example (dot) org, name(at)example.org, name{at}example{dot}org, "
                        u"name <at> example.org, name-at-example-dot-org, name_at_example.org, "
                        u"name AT example DOT org, name at example dot org, E-mail: name at "
                        u"example.org, <name at example.org>, name@example[.]org; the name may be "
                        u"disguised too: first(dot)last(at)example(dot)org."_s);
    const QCommandLineOption excludeDomain(u"exclude-domain"_s,
                                           u"Leave out addresses of domains matching PATTERN (example.com, "
                                           u"*.example.com; give it again for more; @FILE: the patterns of "
                                           u"FILE, one per line)."_s,
                                           u"PATTERN"_s);
    const QCommandLineOption onlyDomain(u"only-domain"_s,
                                        u"Keep only addresses of domains matching PATTERN (as for "
                                        u"--exclude-domain)."_s,
                                        u"PATTERN"_s);
    return {{anyDomain, disguised, excludeDomain, onlyDomain},
            [=](const QCommandLineParser &parser, ExtractOptions &options, QString &) {
                options.addresses = {parser.isSet(anyDomain), parser.isSet(disguised),
                                     parser.values(excludeDomain), parser.values(onlyDomain)};
            }};
}

Theme readingTheme()
{
    const QCommandLineOption noLinks(u"no-links"_s,
                                     u"Leave out the addresses of the pages' mailto: links (\"Contact us\" "
                                     u"buttons), which are taken by default after each page's text."_s);
    // The default now; still taken, so that older scripts run on.
    QCommandLineOption links(u"links"_s, u"Take the addresses of mailto: links (the default)."_s);
    links.setFlags(QCommandLineOption::HiddenFromHelp);
    const QCommandLineOption engine(u"engine"_s,
                                    u"The PDF library of the converter workers: mupdf (the default: four "
                                    u"times faster on long documents) or poppler (the text pdftotext "
                                    u"writes, in its order)."_s,
                                    u"NAME"_s);
    // Scripts of older versions may still choose the one converter there is.
    QCommandLineOption converter(u"converter"_s, u"service"_s, u"NAME"_s);
    converter.setFlags(QCommandLineOption::HiddenFromHelp);
    const QCommandLineOption ocr(u"ocr"_s,
                                 u"Read pages that have no text of their own (scans) with tesseract."_s);
    const QCommandLineOption ocrLanguages(u"ocr-lang"_s,
                                          u"The languages of the scans, tesseract's codes joined with \"+\" "
                                          u"(default: eng); implies --ocr."_s,
                                          u"LANGS"_s);
    const QCommandLineOption ocrUnsure(
        u"ocr-unsure"_s, u"List on standard error, with file and page, the recognised addresses left out "
                         u"because their readings did not agree (implies --ocr)."_s);
    const QCommandLineOption timeout(
        u"timeout"_s,
        u"End the conversion of a file that takes longer than SECONDS to open, "
        u"or to read or recognise any one page, and report the file (default: "_s +
            QString::number(kDefaultTimeoutMs / 1000) + u"; 0: no limit)."_s,
        u"SECONDS"_s);
    const QCommandLineOption jobs({u"j"_s, u"jobs"_s}, u"Convert N files at once (default: one per core)."_s,
                                  u"N"_s);
    return {{noLinks, links, engine, converter, ocr, ocrLanguages, ocrUnsure, timeout, jobs},
            [=](const QCommandLineParser &parser, ExtractOptions &options, QString &error) {
                RunRequest &run = options.run;
                run.links = !parser.isSet(noLinks);
                if (parser.isSet(links) && parser.isSet(noLinks))
                    error = u"--links and --no-links contradict each other; give one of them."_s;
                if (parser.isSet(engine)) {
                    if (const std::optional<PdfEngine> named = PdfEngineNamed(parser.value(engine)))
                        run.engine = *named;
                    else
                        error =
                            u"--engine takes poppler or mupdf, not \""_s + parser.value(engine) + u"\"."_s;
                }
                if (parser.isSet(converter) && parser.value(converter) != u"service"_s)
                    error =
                        u"--converter "_s + parser.value(converter) +
                        u" is not offered: every file is read by the program's own converter, which gives "
                        u"pdftotext's text byte for byte. Leave out --converter."_s;
                options.ocrUnsure = parser.isSet(ocrUnsure);
                if (parser.isSet(ocr) || parser.isSet(ocrLanguages) || options.ocrUnsure)
                    run.recognition = parser.isSet(ocrLanguages) ? parser.value(ocrLanguages) : u"eng"_s;
                run.timeoutMs =
                    wholeNumber(parser, timeout.names().constFirst(), kDefaultTimeoutMs / 1000, error) * 1000;
                run.jobs = positiveNumber(parser, u"jobs"_s, error);
            }};
}

Theme sourceTheme()
{
    const QCommandLineOption noNotes(u"no-notes"_s,
                                     u"Leave out the notes of the pages (sticky notes, free text, comments) "
                                     u"and the values of their form fields, which are read by default."_s);
    const QCommandLineOption metadata(
        u"metadata"_s, u"Also read the document's metadata (author, subject, keywords; not the names of the "
                       u"tools that made it)."_s);
    const QCommandLineOption attachments(
        u"attachments"_s,
        u"Also read the files attached to each PDF: PDFs among them as the PDF is read, text "
        u"files (plain text, CSV, vCard, e-mail, HTML, XML, TeX) as text."_s);
    return {
        {noNotes, metadata, attachments},
        [=](const QCommandLineParser &parser, ExtractOptions &options, QString &) {
            options.run.sources = {!parser.isSet(noNotes), parser.isSet(metadata), parser.isSet(attachments)};
        }};
}

Theme fileTheme()
{
    const QCommandLineOption filesFrom(u"files-from"_s,
                                       u"Also take the files and folders listed in FILE, one per line "
                                       u"(\"-\": standard input)."_s,
                                       u"FILE"_s);
    const QCommandLineOption nullSeparated(u"null"_s, u"The --files-from list ends each name with NUL."_s);
    const QCommandLineOption allFiles(u"all-files"_s, u"In folders take every file, not only *.pdf."_s);
    const QCommandLineOption followLinks(u"follow-links"_s,
                                         u"In folders, also enter links to folders and take links to files "
                                         u"outside the folder given (by default a walk stays inside it)."_s);
    const QCommandLineOption hidden(
        u"hidden"_s, u"In folders, also read hidden files and folders (names beginning with "
                     u"\".\"), which are left out by default and counted on standard error."_s);
    return {{filesFrom, nullSeparated, allFiles, followLinks, hidden},
            [=](const QCommandLineParser &parser, ExtractOptions &options, QString &error) {
                options.inputs = parser.positionalArguments();
                options.filesFrom = parser.value(filesFrom);
                options.nullSeparated = parser.isSet(nullSeparated);
                if (options.nullSeparated && options.filesFrom.isEmpty())
                    error = u"--null describes the list of --files-from; give that list too."_s;
                options.allFiles = parser.isSet(allFiles);
                options.followLinks = parser.isSet(followLinks);
                options.hidden = parser.isSet(hidden);
            }};
}

Theme cacheTheme()
{
    const QCommandLineOption noCache(
        u"no-cache"_s, u"Convert every file: take no results from the results cache and keep none. By "
                       u"default a file read before under the same options is not converted again; the "
                       u"cache keeps addresses, never text, and nothing of a file tried with a password."_s);
    const QCommandLineOption cacheDir(u"cache-dir"_s,
                                      u"Keep the results cache in DIR (default: $XDG_CACHE_HOME/pelmora, "
                                      u"that is ~/.cache/pelmora)."_s,
                                      u"DIR"_s);
    const QCommandLineOption clearCache(
        u"clear-cache"_s, u"Remove the results cache first; given without inputs, only that."_s);
    return {{noCache, cacheDir, clearCache},
            [=](const QCommandLineParser &parser, ExtractOptions &options, QString &error) {
                options.run.cache = !parser.isSet(noCache);
                options.run.cacheFolder =
                    parser.isSet(cacheDir) ? parser.value(cacheDir) : ResultsCache::defaultFolder();
                if (parser.isSet(cacheDir) && options.run.cacheFolder.isEmpty())
                    error = u"--cache-dir takes a folder."_s;
                options.clearCache = parser.isSet(clearCache);
            }};
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
    parser.addPositionalArgument(u"inputs"_s,
                                 u"PDF files and folders, in the order to search them (with --merge: "
                                 u"JSON Lines results of --format jsonl, in the order of their inputs)."_s,
                                 u"FILE|FOLDER..."_s);
    const QCommandLineOption help({u"h"_s, u"help"_s}, u"Show this help."_s);
    const QCommandLineOption version(u"version"_s, u"Show the version of this program and of the poppler and "
                                                   u"tesseract libraries its converter uses."_s);
    parser.addOptions({help, version});
    // --help lists them theme by theme.
    const QList<Theme> themes{passwordTheme(), outputTheme(), fileTheme(), addressTheme(),
                              readingTheme(),  sourceTheme(), cacheTheme()};
    for (const Theme &theme : themes)
        parser.addOptions(theme.options);

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
        parsed.versionAsked = true;
        return parsed;
    }
    ExtractOptions &options = parsed.options;
    for (const Theme &theme : themes)
        theme.read(parser, options, parsed.error);
    const bool clearOnly = options.clearCache && !options.merge;
    if (options.inputs.isEmpty() && options.filesFrom.isEmpty() && parsed.error.isEmpty() && !clearOnly)
        parsed.error = options.merge ? u"No results to merge given."_s : u"No PDF files or folders given."_s;
    return parsed;
}

QStringList CommandLineArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(PathFromNative(argv[i]));
    return arguments;
}

AddressRules ReadAddressRules(const ExtractOptions &options)
{
    AddressChoices choices = options.addresses;
    const auto read = [](const QStringList &values) {
        QStringList patterns;
        for (const QString &value : values)
            patterns += ReadDomainPatterns(value);
        return patterns;
    };
    choices.excluded = read(choices.excluded);
    choices.only = read(choices.only);
    QStringList problems;
    const AddressRules rules = RulesFor(choices, problems);
    if (!problems.isEmpty())
        throw AppError(problems.constFirst());
    return rules;
}

RunRequest ReadRunRequest(const ExtractOptions &options)
{
    RunRequest request = options.run;
    if (!options.passwordFile.isEmpty())
        request.passwords += ReadPasswordFile(options.passwordFile);
    request.rules = ReadAddressRules(options);
    return request;
}

namespace {

// What a PDF reader takes for one: "%PDF-" within the first kilobyte of a regular file (a
// FIFO is never opened here).
bool holdsPdf(const QString &path)
{
    QFile file(path);
    return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly) && file.read(1024).contains("%PDF-");
}

} // namespace

void CheckOutputFile(const QString &path, bool force)
{
    const QFileInfo file(path);
    const QString folder = file.absolutePath();
    QString why;
    if (file.isDir())
        why = u"that name belongs to a folder."_s;
    else if (!force && (path.endsWith(u".pdf"_s, Qt::CaseInsensitive) || holdsPdf(path)))
        why = (holdsPdf(path) ? u"it holds a PDF"_s : u"its name ends in .pdf"_s) +
              u" (a file named \"-o\" among the inputs? Put \"--\" before them). Give --force-output to "
              u"write it all the same."_s;
    else if (!QFileInfo(folder).isDir())
        why = u"the folder "_s + folder + u" does not exist."_s;
    if (why.isEmpty()) {
        // What the save at the end will do: a file of its own beside the target. Asking
        // access() is not enough: root may write anywhere it says, yet not into /proc.
        QTemporaryFile probe(folder + u"/.pelmora-XXXXXX"_s);
        if (!probe.open())
            why = u"the folder "_s + folder + u" cannot be written to: "_s + probe.errorString() + u'.';
    }
    if (!why.isEmpty())
        throw AppError(u"The results cannot be saved to "_s + path + u": "_s + why);
}

QStringList ListFiles(const ExtractOptions &options)
{
    QStringList lists;
    if (!options.passwordFile.isEmpty())
        lists.append(options.passwordFile);
    if (!options.filesFrom.isEmpty() && options.filesFrom != u"-"_s)
        lists.append(options.filesFrom);
    for (const QString &value : options.addresses.excluded + options.addresses.only) {
        if (value.startsWith(u'@'))
            lists.append(value.sliced(1));
    }
    return lists;
}

void CheckOutputIsNoInput(const QString &path, const QStringList &inputs)
{
    struct stat output = {};
    if (::stat(NativePath(path).constData(), &output) != 0)
        return; // a new file is no input
    for (const QString &input : inputs) {
        struct stat each = {};
        if (::stat(NativePath(input).constData(), &each) == 0 && each.st_dev == output.st_dev &&
            each.st_ino == output.st_ino)
            throw AppError(u"The results cannot be saved to "_s + path + u": that file is the input "_s +
                           input + u". Choose another name for -o."_s);
    }
}

} // namespace pelmora
