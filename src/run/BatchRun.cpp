#include "run/BatchRun.h"

#include "convert/ConversionJob.h"
#include "convert/ConverterWorkspace.h"
#include "convert/WaitProgress.h"
#include "core/FileHelpers.h"
#include "extract/ConvertedText.h"

#include <QFile>
#include <QFutureWatcher>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

BatchRun::TextScan ScanConvertedText(const QString &path)
{
    BatchRun::TextScan scan;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return scan;
    // Mapping spares a copy of texts that may run to hundreds of megabytes.
    QByteArray copy;
    QByteArrayView text;
    if (const uchar *mapped = file.map(0, file.size()))
        text = QByteArrayView(mapped, file.size());
    else
        text = copy = file.readAll();
    scan.unreadable = IsUnreadableText(text);
    if (!scan.unreadable) {
        SeenAddresses inThisFile;
        scan.addresses = ExtractEmailToArray(text, inThisFile);
    }
    return scan;
}

BatchRun::BatchRun(ConverterWorkspace &workspace, Clock &clock, BatchRunHost &host, const QStringList &pdfs,
                   QObject *parent)
    : QObject(parent), m_workspace(workspace), m_clock(clock), m_host(host),
      m_parallelJobs(QThread::idealThreadCount())
{
    m_rows.reserve(pdfs.size());
    for (const QString &pdf : pdfs) {
        Row row;
        row.pdf = pdf;
        m_rows.append(row);
    }
}

BatchRun::~BatchRun()
{
    abort();
}

void BatchRun::setParallelJobs(int jobs)
{
    m_parallelJobs = std::max(1, jobs);
}

void BatchRun::start()
{
    fill();
}

void BatchRun::abort()
{
    m_aborted = true;
    for (Row &row : m_rows)
        delete row.job; // ends its converter and removes its text
}

void BatchRun::fill()
{
    // Texts waiting for their search count too, so a search that falls behind the
    // converters cannot fill the temporary folder.
    while (!m_aborted && !m_prompting && m_running < m_parallelJobs &&
           m_running + m_searching <= m_parallelJobs && m_nextToStart < m_rows.size()) {
        const QPointer<BatchRun> alive(this);
        startRow(m_nextToStart++);
        if (!alive)
            return;
    }
    reportReadyRows();
}

void BatchRun::startRow(qsizetype index)
{
    Row &row = m_rows[index];
    row.progressValue = static_cast<int>((index + 1) * 100 / m_rows.size());
    row.progressText = u"Processing: "_s + FileNameOfPath(row.pdf);
    m_restingText = row.progressText;
    showProgress(row.progressValue, row.progressText);

    const std::optional<QString> password = choosePassword(index);
    if (!password)
        return; // the run was aborted or destroyed while the prompt was open
    row.passwordGiven = !password->isEmpty();
    auto *job = new ConversionJob(m_workspace, m_clock, ConversionKind::Batch, row.pdf, *password, this);
    job->setTimeout(m_timeoutMs);
    connect(job, &ConversionJob::polled, this, [this, index](int counter) { onPolled(index, counter); });
    connect(job, &ConversionJob::finished, this, [this, index] { onConverted(index); });
    row.job = job;
    ++m_running;
    job->start();
}

std::optional<QString> BatchRun::choosePassword(qsizetype index)
{
    const PasswordMode mode = m_host.passwordMode();
    if (mode == PasswordMode::None)
        return QString();
    if (mode == PasswordMode::SameForAll && index > 0)
        return m_password;
    const PasswordPrompt prompt =
        mode == PasswordMode::SameForAll ? PasswordPrompt::ForAllFiles : PasswordPrompt::ForFile;
    const QPointer<BatchRun> alive(this);
    m_prompting = true;
    const QString typed = m_host.askPassword(prompt, m_rows[index].pdf);
    if (!alive)
        return std::nullopt;
    m_prompting = false;
    if (m_aborted)
        return std::nullopt;
    m_password = typed;
    return typed;
}

qsizetype BatchRun::oldestRunning() const
{
    for (qsizetype i = m_nextToReport; i < m_nextToStart; ++i) {
        if (m_rows[i].job && m_rows[i].job->isRunning())
            return i;
    }
    return -1;
}

void BatchRun::onPolled(qsizetype index, int counter)
{
    if (index != oldestRunning())
        return;
    const Row &row = m_rows[index];
    const std::optional<QString> caption = WaitCaption(row.progressText, counter);
    const std::optional<int> value = CreepValue(counter, static_cast<int>(m_rows.size()), row.progressValue);
    if (caption || value)
        showProgress(value.value_or(m_value), caption.value_or(m_caption));
}

void BatchRun::onConverted(qsizetype index)
{
    Row &row = m_rows[index];
    --m_running;
    row.timedOut = row.job->timedOut();
    row.hasText = row.job->hasOutput();
    // The caption counts on only while the oldest conversion still waits.
    const qsizetype oldest = oldestRunning();
    if (oldest < 0 || m_rows[oldest].job->pollCount() < 50)
        showProgress(m_value, RestingCaption(m_restingText));
    // A scan that is over at once reports, and may finish the run, from within this call.
    const QPointer<BatchRun> alive(this);
    if (row.hasText) {
        // A watcher, not QFuture::then(this, ...): the run may be destroyed while the
        // scan goes on, and a watcher destroyed with it simply reports nothing.
        auto *watcher = new QFutureWatcher<TextScan>(this);
        connect(watcher, &QFutureWatcherBase::finished, this, [this, index, watcher] {
            const TextScan scan = watcher->result();
            watcher->deleteLater();
            // Queued, so that a receiver of what it reports may destroy the run.
            QMetaObject::invokeMethod(
                this, [this, index, scan] { onScanned(index, scan); }, Qt::QueuedConnection);
        });
        ++m_searching;
        watcher->setFuture(QtConcurrent::run(ScanConvertedText, row.job->outputPath()));
    } else {
        row.job->deleteLater();
        row.job = nullptr;
        row.scan = TextScan{};
    }
    if (alive)
        fill();
}

void BatchRun::onScanned(qsizetype index, const TextScan &scan)
{
    Row &row = m_rows[index];
    row.scan = scan;
    delete row.job; // its text is no longer needed on disk
    --m_searching;
    fill();
}

void BatchRun::reportReadyRows()
{
    while (!m_aborted && m_nextToReport < m_nextToStart && m_rows[m_nextToReport].scan) {
        Row &row = m_rows[m_nextToReport++];
        reportRow(row);
    }
    if (!m_aborted && !m_finished && m_nextToReport == m_rows.size()) {
        m_finished = true;
        showProgress(0, RestingCaption(QString()));
        Q_EMIT finished();
    }
}

void BatchRun::reportRow(Row &row)
{
    const TextScan scan = std::move(*row.scan);
    row.scan.reset();
    if (!row.hasText) {
        const UnreadableReason reason = row.timedOut        ? UnreadableReason::TimedOut
                                        : row.passwordGiven ? UnreadableReason::InvalidPassword
                                                            : UnreadableReason::Protected;
        m_unreadable.append({row.pdf, reason});
    } else if (scan.unreadable) {
        m_unreadable.append({row.pdf, UnreadableReason::TextUnreadable});
    } else {
        // Each file's own first spellings, sifted in row order: the run's first spellings.
        QStringList fresh;
        for (const QString &address : scan.addresses) {
            if (m_seen.insert(address.toLatin1()))
                fresh.append(address);
        }
        if (!fresh.isEmpty())
            Q_EMIT addressesFound(fresh);
    }
}

void BatchRun::showProgress(int value, const QString &caption)
{
    // Values only grow during a run, also when several conversions creep at once.
    m_value = m_finished ? value : std::max(m_value, value);
    m_caption = caption;
    Q_EMIT progressChanged(m_value, m_caption);
}

} // namespace pelmora
