#include "cli/ExtractCommand.h"

#include "convert/Conversion.h"
#include "convert/ConverterWorkspace.h"
#include "core/AppError.h"
#include "core/Clock.h"
#include "core/FileHelpers.h"
#include "core/NativePath.h"
#include "inputs/FolderWalk.h"
#include "results/ResultsFile.h"

#include <QDir>
#include <QEventLoop>

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
        m_workspace = std::make_unique<ConverterWorkspace>(QDir::tempPath(), ProgramOf(m_options.converter));
        m_workspace->EnsureConverter();
        m_converter = CreateConverter(m_options.converter, *m_workspace, Clock::system());
        return true;
    } catch (const AppError &error) {
        complain(error.description());
        return false;
    }
}

int ExtractCommand::exec()
{
    if (!prepare())
        return kUsageError;
    const QStringList pdfs = expandedInputs();
    if (pdfs.isEmpty()) {
        complain(u"no files to search."_s);
        return 1;
    }
    BatchRunHost &host = *this;
    m_run = std::make_unique<BatchRun>(*m_converter, host, pdfs);
    m_run->setPasswords(m_passwords);
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
    QStringList pdfs;
    for (const QString &input : m_options.inputs)
        pdfs += IsFolder(input) ? scan.filesIn(input) : QStringList{input};
    return pdfs;
}

void ExtractCommand::onAddresses(const QStringList &addresses)
{
    if (!m_options.outputFile.isEmpty()) {
        m_addresses += addresses;
        return;
    }
    // Streamed as found, so a long run shows its results early.
    if (m_showProgress)
        print(m_err, u"\r\x1b[K"_s);
    for (const QString &address : addresses)
        print(m_out, m_options.comma ? address + u',' : address + u'\n');
    std::fflush(m_out);
}

void ExtractCommand::onProgress(int value, const QString &caption)
{
    print(m_err, u"\r\x1b[K"_s + QString::number(std::min(value, 100)) + u"% "_s + caption);
}

int ExtractCommand::finish()
{
    if (m_showProgress)
        print(m_err, u"\r\x1b[K"_s);
    if (m_options.outputFile.isEmpty() && m_options.comma)
        print(m_out, u"\n"_s);
    if (!m_options.outputFile.isEmpty()) {
        try {
            SaveResults(m_options.outputFile, m_addresses,
                        m_options.comma ? ResultsFormat::CommaList : ResultsFormat::LineList);
        } catch (const AppError &error) {
            complain(error.description());
            return kUsageError;
        }
    }
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
