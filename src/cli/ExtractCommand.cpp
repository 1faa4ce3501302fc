#include "cli/ExtractCommand.h"

#include "cache/ResultsCache.h"
#include "cli/InputLists.h"
#include "convert/Conversion.h"
#include "convert/ConverterService.h"
#include "convert/ConverterWorkspace.h"
#include "convert/OcrLanguageCheck.h"
#include "core/AppError.h"
#include "core/Clock.h"
#include "core/FileHelpers.h"
#include "core/NativePath.h"
#include "extract/AddressExtraction.h"
#include "inputs/FolderWalk.h"
#include "results/ResultsFile.h"
#include "run/InterruptNotifier.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <limits>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// Paths keep the bytes they came with, odd ones included.
void print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = NativePath(text);
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

constexpr int kUsageError = 2;
// Each merged address is held until the end, some hundred bytes each.
constexpr qsizetype kMostMergedAddresses = 10000000;
constexpr int kInterrupted = 130;

} // namespace

ExtractCommand::ExtractCommand(const ExtractOptions &options, std::FILE *out, std::FILE *err, QObject *parent)
    : QObject(parent), m_options(options), m_out(out), m_err(err),
      m_showProgress(!options.quiet && ::isatty(::fileno(err)) == 1)
{
}

ExtractCommand::~ExtractCommand()
{
    m_run.reset();
    m_cache.reset();
    m_converter.reset();
}

// One line, whatever names it holds.
void ExtractCommand::complain(const QString &text) const
{
    print(m_err, u"pelmora-extract: "_s + Printable(text) + u'\n');
}

// What the run is asked, read before it converts anything: passwords, rules and the files,
// lists and folders expanded. Any of them may wait for ever (a FIFO, standard input), and
// nothing needs cleaning up yet, so a signal ends the command at once. False, said, when
// something failed.
bool ExtractCommand::readRequest()
{
    try {
        const InterruptNotifier::Immediately whileReading;
        // Before any conversion: a run of hours must not end in an unwritable name.
        if (!m_options.outputFile.isEmpty())
            CheckOutputFile(m_options.outputFile, m_options.forceOutput);
        m_request = ReadRunRequest(m_options);
        m_request.files = expandedInputs();
        if (!m_options.outputFile.isEmpty())
            CheckOutputIsNoInput(m_options.outputFile, m_request.files + ListFiles(m_options));
        return true;
    } catch (const AppError &error) {
        complain(error.description());
        return false;
    }
}

bool ExtractCommand::prepare()
{
    try {
        m_workspace = std::make_unique<ConverterWorkspace>(
            ProgramOf(InstalledServiceProgram(m_request.engine), m_request.engine));
        m_workspace->ensureConverter();
        if (!m_request.recognition.isEmpty()) {
            if (const QString problem =
                    OcrLanguageProblem(m_workspace->converterPath(), m_request.recognition);
                !problem.isEmpty())
                throw AppError(problem);
        }
        m_converter = std::make_unique<ConverterService>(*m_workspace, Clock::system());
        return true;
    } catch (const AppError &error) {
        complain(error.description());
        return false;
    }
}

void ExtractCommand::start()
{
    const int status = run();
    if (status >= 0)
        end(status);
}

// The status when the work ended at once; -1 while the run goes on.
int ExtractCommand::run()
{
    if (m_options.clearCache) {
        if (const QString problem = ResultsCache::clear(m_options.run.cacheFolder); !problem.isEmpty()) {
            complain(problem);
            return kUsageError;
        }
        if (!m_options.merge && m_options.inputs.isEmpty() && m_options.filesFrom.isEmpty())
            return 0;
    }
    if (m_options.merge)
        return merge();
    if (!readRequest() || !prepare())
        return kUsageError;
    if (m_request.files.isEmpty()) {
        // Still an (empty) result: a shard of a long list may hold only folders without PDFs.
        complain(u"no files to search."_s);
        if (!write({}))
            return kUsageError;
        reportUnreadable({});
        reportHidden();
        return 1;
    }
    m_run = std::make_unique<BatchRun>(*m_converter, Clock::system(), m_request);
    if (m_request.cache) {
        m_cache = std::make_unique<ResultsCache>(m_request.cacheFolder, Clock::system());
        m_run->setResultsCache(m_cache.get());
    }
    connect(m_run.get(), &BatchRun::addressesFound, this, &ExtractCommand::onAddresses);
    if (m_showProgress)
        connect(m_run.get(), &BatchRun::progressChanged, this, &ExtractCommand::onProgress);
    connect(m_run.get(), &BatchRun::finished, this, [this] { end(finish()); });
    m_run->start();
    return -1;
}

void ExtractCommand::interrupt()
{
    if (m_run)
        m_run->abort();
    end(kInterrupted);
}

void ExtractCommand::end(int status)
{
    if (std::exchange(m_ended, true))
        return;
    // From the event loop, which may not have started yet.
    QMetaObject::invokeMethod(
        this, [this, status] { Q_EMIT finished(status); }, Qt::QueuedConnection);
}

QStringList ExtractCommand::expandedInputs()
{
    WalkHooks hooks;
    hooks.unreadable = [this](const QString &path, const QString &why) {
        m_unwalked.append({path, UnreadableReason::Inaccessible, why});
    };
    hooks.followLinks = m_options.followLinks;
    hooks.hidden = m_options.hidden;
    FolderScan scan(m_options.allFiles ? u"*.*"_s : u"*.pdf"_s, hooks);
    QStringList inputs = m_options.inputs;
    if (!m_options.filesFrom.isEmpty())
        inputs += ReadInputList(m_options.filesFrom, m_options.nullSeparated);
    QStringList pdfs;
    for (const QString &input : std::as_const(inputs))
        pdfs += IsFolder(input) ? scan.filesIn(input) : QStringList{input};
    m_hiddenLeftOut = scan.hiddenLeftOut();
    return pdfs;
}

// The lists go out as they are found, so a long run shows its results early; the
// formats with counts wait for the last count, and a file is written whole.
bool ExtractCommand::streams() const
{
    return m_options.outputFile.isEmpty() &&
           (m_options.format == ResultsFormat::LineList || m_options.format == ResultsFormat::CommaList);
}

void ExtractCommand::onAddresses(const QList<AddressSource> &found)
{
    if (!streams()) {
        m_found += found;
        return;
    }
    if (m_showProgress)
        print(m_err, u"\r\x1b[K"_s);
    QStringList addresses;
    addresses.reserve(found.size());
    for (const AddressSource &address : found)
        addresses.append(address.address);
    if (!toOutput(ListEntries(addresses, m_options.format, "\n"))) {
        m_run->abort();
        end(kUsageError);
    }
}

// Standard output fails as a file does (a full disk, a closed pipe): never a success.
bool ExtractCommand::toOutput(QByteArrayView bytes)
{
    if (std::fwrite(bytes.data(), 1, static_cast<size_t>(bytes.size()), m_out) ==
            static_cast<size_t>(bytes.size()) &&
        std::fflush(m_out) == 0)
        return true;
    complain(u"the results cannot be written to standard output: "_s +
             QString::fromLocal8Bit(std::strerror(errno)) + u'.');
    return false;
}

bool ExtractCommand::write(const QList<AddressSource> &rows)
{
    try {
        if (!m_options.outputFile.isEmpty()) {
            SaveResults(m_options.outputFile, rows, m_options.format);
            return true;
        }
        return toOutput(ResultsBytes(rows, m_options.format, "\n"));
    } catch (const AppError &error) {
        complain(error.description());
        return false;
    }
}

namespace {

// The next row of a part, read line by line past empty lines (`line` counts them); nullopt
// at the end. Throws AppError for a row no run writes: longer than any (a part that is
// /dev/zero), an address the pattern refuses, a name no file can have (one holding NUL; any
// other character may be in a name the run read), a page or count that is not positive or
// past any run's.
std::optional<AddressSource> nextMergedRow(QFile &part, int &line)
{
    // An address and a path of PATH_MAX bytes, each escaped, fit many times over.
    constexpr qint64 kLongestRow = 64 * 1024;
    constexpr int kLargest = 1 << 30;
    std::optional<AddressSource> row;
    while (!row) {
        const QByteArray text = part.readLine(kLongestRow);
        ++line;
        if (text.isEmpty()) {
            if (part.error() != QFileDevice::NoError)
                throw AppError(u"cannot be read: "_s + part.errorString());
            return std::nullopt;
        }
        if (!text.endsWith('\n') && (!part.atEnd() || text.size() >= kLongestRow - 1)) // cut at the limit
            throw AppError(u"is longer than any row of results ("_s + QString::number(kLongestRow) +
                           u" bytes)."_s);
        row = ParseJsonLine(text);
    }
    if (!IsAddressOfARun(row->address.toLatin1()))
        throw AppError(u"holds no address: \""_s + row->address + u"\"."_s);
    if (row->file.isEmpty() || row->file.contains(QChar(u'\0')))
        throw AppError(u"names no file a run could read (empty, or with a NUL character)."_s);
    // Metadata and attached text files have no page.
    const bool pageless = row->via == FoundVia::Metadata || row->via == FoundVia::Attachment;
    if (row->page < (pageless ? 0 : 1) || row->page > kLargest || row->count < 1 || row->count > kLargest)
        throw AppError(u"has a page or count no run gives ("_s + QString::number(row->page) + u", "_s +
                       QString::number(row->count) + u")."_s);
    return row;
}

} // namespace

int ExtractCommand::merge()
{
    // Consecutive parts of one list: the earlier part's sighting of an address is the
    // whole list's first, and the counts of all parts add up.
    QList<AddressSource> rows;
    QHash<QString, qsizetype> known;
    try {
        const InterruptNotifier::Immediately whileReading; // a part may be a FIFO that never ends
        if (!m_options.outputFile.isEmpty()) {
            CheckOutputFile(m_options.outputFile, m_options.forceOutput);
            CheckOutputIsNoInput(m_options.outputFile, m_options.inputs + ListFiles(m_options));
        }
        // The parts were searched with their own rules; only the domain filters still apply.
        const DomainFilter domains = ReadAddressRules(m_options).domains;
        QSet<std::pair<quint64, quint64>> parts;
        for (const QString &part : m_options.inputs) {
            QFile file(part);
            if (!file.open(QIODevice::ReadOnly))
                throw AppError(u"The results "_s + part + u" cannot be read: "_s + file.errorString());
            // The same part twice would count its addresses twice.
            struct stat status = {};
            if (::fstat(file.handle(), &status) == 0 &&
                parts.contains({quint64(status.st_dev), quint64(status.st_ino)}))
                throw AppError(u"The results "_s + part + u" are given twice; each part is merged once."_s);
            parts.insert({quint64(status.st_dev), quint64(status.st_ino)});
            int line = 0;
            try {
                while (const std::optional<AddressSource> row = nextMergedRow(file, line)) {
                    const QString key = row->address.toLower();
                    if (!domains.accepts(key.sliced(key.indexOf(u'@') + 1).toLatin1()))
                        continue;
                    if (const auto at = known.constFind(key); at == known.cend()) {
                        if (rows.size() == kMostMergedAddresses)
                            throw AppError(u"brings the addresses past "_s +
                                           QString::number(kMostMergedAddresses) +
                                           u", the most one merge holds."_s);
                        known.insert(key, rows.size());
                        rows.append(*row);
                    } else if (rows[*at].count > std::numeric_limits<int>::max() - row->count) {
                        throw AppError(u"adds a count past "_s +
                                       QString::number(std::numeric_limits<int>::max()) + u" to "_s +
                                       row->address + u'.');
                    } else {
                        rows[*at].count += row->count;
                    }
                }
            } catch (const AppError &error) {
                throw AppError(u"The results "_s + part + u" cannot be merged: line "_s +
                               QString::number(line) + u' ' + error.description());
            }
        }
    } catch (const AppError &error) {
        complain(error.description());
        return kUsageError;
    }
    return write(rows) ? 0 : kUsageError;
}

void ExtractCommand::onProgress(int value, const QString &caption)
{
    print(m_err, u"\r\x1b[K"_s + QString::number(std::min(value, 100)) + u"% "_s + caption);
}

int ExtractCommand::finish()
{
    if (m_showProgress)
        print(m_err, u"\r\x1b[K"_s);
    if (streams() ? m_options.format == ResultsFormat::CommaList && !toOutput("\n") : !write(m_found))
        return kUsageError;
    // Its own problems (a cache it could not use) leave the results whole.
    for (const QString &problem : m_run->problems())
        complain(problem);
    const bool allRead = reportUnreadable(m_run->unreadableFiles());
    reportUnsure();
    reportHidden();
    return allRead ? 0 : 1;
}

// Left out by choice, as ripgrep and fd leave them out: said, but no failure.
void ExtractCommand::reportHidden() const
{
    if (!m_options.quiet && m_hiddenLeftOut > 0)
        complain(HiddenNote(m_hiddenLeftOut, u"--hidden reads them."_s));
}

bool ExtractCommand::reportUnreadable(const QList<UnreadableFile> &unreadable) const
{
    const QList<UnreadableFile> all = m_unwalked + unreadable;
    if (!m_options.quiet && !all.isEmpty())
        print(m_err, UnreadableReport(all, u"\n"_s) + u'\n');
    return !AnyFailed(all);
}

// Recognised addresses its readings did not agree on are never printed as results; how
// many were left out is said, and with --ocr-unsure which.
void ExtractCommand::reportUnsure() const
{
    const QList<UnsureFinding> unsure = m_run->unsureFindings();
    if (unsure.isEmpty())
        return;
    if (m_options.ocrUnsure) {
        for (const UnsureFinding &finding : unsure)
            print(m_err, UnsureLine(finding) + u'\n');
    }
    if (!m_options.quiet || m_options.ocrUnsure)
        complain(UnsureNote(unsure.size()) +
                 (m_options.ocrUnsure ? QString() : u" --ocr-unsure lists them."_s));
}

} // namespace pelmora
