#include "run/BatchRun.h"

#include "convert/WaitProgress.h"
#include "core/FileHelpers.h"

#include <QPointer>
#include <QThread>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

UnreadableReason ReasonFor(ConversionOutcome outcome, bool passwordGiven)
{
    switch (outcome) {
    case ConversionOutcome::NeedsPassword:
    case ConversionOutcome::WrongPassword:
        return passwordGiven ? UnreadableReason::InvalidPassword : UnreadableReason::Protected;
    case ConversionOutcome::TimedOut:
        return UnreadableReason::TimedOut;
    case ConversionOutcome::Text:
        return UnreadableReason::TextUnreadable;
    case ConversionOutcome::Damaged:
        break;
    }
    return UnreadableReason::Damaged;
}

BatchRun::BatchRun(Converter &converter, BatchRunHost &host, const QStringList &pdfs, QObject *parent)
    : QObject(parent), m_converter(converter), m_host(host), m_rows(static_cast<std::size_t>(pdfs.size())),
      m_parallelJobs(QThread::idealThreadCount())
{
    for (qsizetype i = 0; i < pdfs.size(); ++i)
        m_rows[static_cast<std::size_t>(i)].pdf = pdfs[i];
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
        row.conversion.reset(); // ends its converter at once
}

void BatchRun::fill()
{
    while (!m_aborted && !m_prompting && m_running < m_parallelJobs &&
           m_nextToStart < static_cast<qsizetype>(m_rows.size())) {
        const QPointer<BatchRun> alive(this);
        startRow(m_nextToStart++);
        if (!alive)
            return;
    }
    reportReadyRows();
}

void BatchRun::startRow(qsizetype index)
{
    Row &row = m_rows[static_cast<std::size_t>(index)];
    row.progressValue = static_cast<int>((index + 1) * 100 / static_cast<qsizetype>(m_rows.size()));
    row.progressText = u"Processing: "_s + FileNameOfPath(row.pdf);
    m_restingText = row.progressText;
    showProgress(row.progressValue, row.progressText);

    const std::optional<QString> password = choosePassword(index);
    if (!password)
        return; // the run was aborted or destroyed while the prompt was open
    ConversionRequest request;
    request.pdf = row.pdf;
    request.passwords = m_passwords;
    if (!password->isEmpty())
        request.passwords.append(*password);
    row.passwordGiven = !request.passwords.isEmpty();
    request.timeoutMs = m_timeoutMs;
    row.conversion = m_converter.convert(request);
    Conversion *conversion = row.conversion.get();
    connect(conversion, &Conversion::polled, this, [this, index](int counter) { onPolled(index, counter); });
    connect(conversion, &Conversion::pageConverted, this,
            [this, index](int, const QByteArray &text) { onPage(index, text); });
    connect(conversion, &Conversion::finished, this,
            [this, index](ConversionOutcome outcome) { onConverted(index, outcome); });
    ++m_running;
    conversion->start();
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
    const QString typed = m_host.askPassword(prompt, m_rows[static_cast<std::size_t>(index)].pdf);
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
        const Row &row = m_rows[static_cast<std::size_t>(i)];
        if (row.conversion && row.conversion->isRunning())
            return i;
    }
    return -1;
}

void BatchRun::onPolled(qsizetype index, int counter)
{
    if (index != oldestRunning())
        return;
    const Row &row = m_rows[static_cast<std::size_t>(index)];
    const std::optional<QString> caption = WaitCaption(row.progressText, counter);
    const std::optional<int> value = CreepValue(counter, static_cast<int>(m_rows.size()), row.progressValue);
    if (caption || value)
        showProgress(value.value_or(m_value), caption.value_or(m_caption));
}

void BatchRun::onPage(qsizetype index, const QByteArray &text)
{
    Row &row = m_rows[static_cast<std::size_t>(index)];
    row.readability.examine(text);
    if (index == m_nextToReport) {
        // Every file before this one is reported: its addresses go out as they are found,
        // and a file of a million addresses is not held twice.
        if (const QStringList fresh = ExtractEmailToArray(text, m_seen); !fresh.isEmpty())
            Q_EMIT addressesFound(fresh);
    } else {
        row.addresses += ExtractEmailToArray(text, row.seen);
    }
}

void BatchRun::onConverted(qsizetype index, ConversionOutcome outcome)
{
    Row &row = m_rows[static_cast<std::size_t>(index)];
    --m_running;
    row.outcome = outcome;
    // Its signal is still being delivered; let it return first.
    row.conversion.release()->deleteLater();
    // The caption counts on only while the oldest conversion still waits.
    const qsizetype oldest = oldestRunning();
    if (oldest < 0 || m_rows[static_cast<std::size_t>(oldest)].conversion->pollCount() < 50)
        showProgress(m_value, RestingCaption(m_restingText));
    fill();
}

void BatchRun::reportReadyRows()
{
    const QPointer<BatchRun> alive(this);
    while (!m_aborted && m_nextToReport < m_nextToStart) {
        Row &row = m_rows[static_cast<std::size_t>(m_nextToReport)];
        reportAddresses(row);
        if (!alive)
            return; // a receiver of the addresses ended the run
        if (!row.outcome)
            break; // still converting; its next pages report themselves
        if (*row.outcome != ConversionOutcome::Text || row.readability.unreadable())
            m_unreadable.append({row.pdf, ReasonFor(*row.outcome, row.passwordGiven)});
        ++m_nextToReport;
    }
    if (!m_aborted && !m_finished && m_nextToReport == static_cast<qsizetype>(m_rows.size())) {
        m_finished = true;
        showProgress(0, RestingCaption(QString()));
        Q_EMIT finished();
    }
}

void BatchRun::reportAddresses(Row &row)
{
    // Each file's own first spellings, sifted in row order: the run's first spellings.
    // The pages that came whole count, also of a file that failed later on.
    QStringList fresh;
    for (const QString &address : std::as_const(row.addresses)) {
        const QByteArray key = address.toLatin1();
        if (m_seen.insert(key, row.seen.count(key)))
            fresh.append(address);
    }
    row.addresses.clear();
    row.seen = SeenAddresses();
    if (!fresh.isEmpty())
        Q_EMIT addressesFound(fresh);
}

void BatchRun::showProgress(int value, const QString &caption)
{
    // Values only grow during a run, also when several conversions creep at once.
    m_value = m_finished ? value : std::max(m_value, value);
    m_caption = caption;
    Q_EMIT progressChanged(m_value, m_caption);
}

} // namespace pelmora
