#include "cli/ExtractCommand.h"

#include "convert/Conversion.h"
#include "convert/ConverterWorkspace.h"
#include "convert/OcrLanguageCheck.h"
#include "core/AppError.h"
#include "core/Clock.h"
#include "core/FileHelpers.h"
#include "core/NativePath.h"
#include "inputs/FolderWalk.h"
#include "results/ResultsFile.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QHash>

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
    m_converter.reset();
    // Also when an earlier, killed command left it: the next normal end removes it.
    if (m_workspace)
        m_workspace->RemoveConverter();
}

void ExtractCommand::complain(const QString &text) const
{
    print(m_err, u"pelmora-extract: "_s + text + u'\n');
}

bool ExtractCommand::prepare()
{
    try {
        // Before any conversion: a run of hours must not end in an unwritable name.
        if (!m_options.outputFile.isEmpty())
            CheckOutputFile(m_options.outputFile);
        m_passwords = m_options.passwords;
        if (!m_options.passwordFile.isEmpty())
            m_passwords += ReadPasswordFile(m_options.passwordFile);
        m_workspace = std::make_unique<ConverterWorkspace>(
            QDir::tempPath(),
            ProgramOf(m_options.converter, InstalledServiceProgram(m_options.engine), m_options.engine));
        m_workspace->EnsureConverter();
        if (!m_options.ocrLanguages.isEmpty()) {
            if (const QString problem =
                    OcrLanguageProblem(m_workspace->ConverterPath(), m_options.ocrLanguages);
                !problem.isEmpty())
                throw AppError(problem);
        }
        m_converter = CreateConverter(m_options.converter, *m_workspace, Clock::system());
        return true;
    } catch (const AppError &error) {
        complain(error.description());
        return false;
    }
}

int ExtractCommand::exec()
{
    if (m_options.merge)
        return merge();
    if (!prepare())
        return kUsageError;
    QStringList pdfs;
    try {
        pdfs = expandedInputs();
    } catch (const AppError &error) {
        complain(error.description());
        return kUsageError;
    }
    if (pdfs.isEmpty()) {
        // Still an (empty) result: a shard of a long list may hold only folders without PDFs.
        complain(u"no files to search."_s);
        return write({}) ? 1 : kUsageError;
    }
    BatchRunHost &host = *this;
    m_run = std::make_unique<BatchRun>(*m_converter, host, pdfs);
    m_run->setPasswords(m_passwords);
    m_run->setRecognition(m_options.ocrLanguages);
    m_run->setLinks(m_options.links);
    if (m_options.jobs > 0)
        m_run->setParallelJobs(m_options.jobs);
    m_run->setTimeout(m_options.timeoutSeconds * 1000);
    connect(m_run.get(), &BatchRun::addressesFound, this, &ExtractCommand::onAddresses);
    if (m_showProgress)
        connect(m_run.get(), &BatchRun::progressChanged, this, &ExtractCommand::onProgress);
    connect(m_run.get(), &BatchRun::finished, this, [this] {
        m_status = finish();
        m_loop.quit();
    });
    m_run->start();
    if (m_status < 0)
        m_loop.exec();
    return m_status;
}

void ExtractCommand::interrupt()
{
    if (m_run)
        m_run->abort();
    m_status = kInterrupted;
    m_loop.quit();
}

QStringList ExtractCommand::expandedInputs() const
{
    WalkHooks hooks;
    hooks.failed = [this](const QString &description) { complain(description); };
    FolderScan scan(m_options.allFiles ? u"*.*"_s : u"*.pdf"_s, hooks);
    QStringList inputs = m_options.inputs;
    if (!m_options.filesFrom.isEmpty())
        inputs += ReadInputList(m_options.filesFrom, m_options.nullSeparated);
    QStringList pdfs;
    for (const QString &input : std::as_const(inputs))
        pdfs += IsFolder(input) ? scan.filesIn(input) : QStringList{input};
    return pdfs;
}

// The lists go out as they are found, so a long run shows its results early; the
// formats with counts wait for the last count, and a file is written whole.
bool ExtractCommand::streams() const
{
    return m_options.outputFile.isEmpty() &&
           (m_options.format == ResultsFormat::LineList || m_options.format == ResultsFormat::CommaList);
}

void ExtractCommand::onAddresses(const QList<FoundAddress> &found)
{
    if (!streams()) {
        m_found += found;
        return;
    }
    if (m_showProgress)
        print(m_err, u"\r\x1b[K"_s);
    const bool comma = m_options.format == ResultsFormat::CommaList;
    for (const FoundAddress &address : found)
        print(m_out, address.address + (comma ? u',' : u'\n'));
    std::fflush(m_out);
}

bool ExtractCommand::write(const QList<AddressSource> &rows)
{
    try {
        if (!m_options.outputFile.isEmpty()) {
            SaveResults(m_options.outputFile, rows, m_options.format);
            return true;
        }
        const QByteArray bytes = ResultsBytes(rows, m_options.format, "\n");
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), m_out);
        std::fflush(m_out);
        return true;
    } catch (const AppError &error) {
        complain(error.description());
        return false;
    }
}

int ExtractCommand::merge()
{
    // Consecutive parts of one list: the earlier part's sighting of an address is the
    // whole list's first, and the counts of all parts add up.
    QList<AddressSource> rows;
    QHash<QString, qsizetype> known;
    try {
        if (!m_options.outputFile.isEmpty())
            CheckOutputFile(m_options.outputFile);
        for (const QString &part : m_options.inputs) {
            QFile file(part);
            if (!file.open(QIODevice::ReadOnly))
                throw AppError(u"The results "_s + part + u" cannot be read: "_s + file.errorString());
            QList<AddressSource> partRows;
            try {
                partRows = ParseJsonLines(file.readAll());
            } catch (const AppError &error) {
                throw AppError(u"The results "_s + part + u" cannot be merged: "_s + error.description());
            }
            for (const AddressSource &row : std::as_const(partRows)) {
                const QString key = row.address.toLower();
                if (const auto at = known.constFind(key); at != known.cend()) {
                    rows[*at].count += row.count;
                } else {
                    known.insert(key, rows.size());
                    rows.append(row);
                }
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
    if (streams() && m_options.format == ResultsFormat::CommaList)
        print(m_out, u"\n"_s);
    if (!streams() && !write(AddressSources(m_found)))
        return kUsageError;
    const QList<UnreadableFile> &unreadable = m_run->unreadableFiles();
    if (!m_options.quiet && !unreadable.isEmpty()) {
        QString report = u"The following files could not be read:\n"_s;
        for (const UnreadableFile &file : unreadable)
            report += file.path + ReasonText(file.reason) + u'\n';
        print(m_err, report);
    }
    return unreadable.isEmpty() ? 0 : 1;
}

} // namespace pelmora
