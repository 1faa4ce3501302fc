#include "run/BatchRun.h"

#include "convert/WaitProgress.h"
#include "core/FileHelpers.h"
#include "extract/DisguisedAddresses.h"
#include "extract/OcrRepair.h"

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

QByteArray MailtoAddresses(QByteArrayView target)
{
    constexpr QByteArrayView scheme = "mailto:";
    if (target.size() < scheme.size() ||
        target.first(scheme.size()).compare(scheme, Qt::CaseInsensitive) != 0)
        return {};
    QByteArrayView addresses = target.sliced(scheme.size());
    if (const qsizetype query = addresses.indexOf('?'); query >= 0)
        addresses = addresses.first(query);
    return QByteArray::fromPercentEncoding(addresses.toByteArray());
}

QList<AddressSource> AddressSources(const QList<FoundAddress> &found)
{
    QList<AddressSource> rows;
    rows.reserve(found.size());
    for (const FoundAddress &each : found)
        rows.append({each.address, each.file, each.page, each.count(), each.via});
    return rows;
}

BatchRun::BatchRun(Converter &converter, BatchRunHost &host, const QStringList &pdfs, QObject *parent)
    : QObject(parent), m_converter(converter), m_host(host), m_rows(static_cast<std::size_t>(pdfs.size())),
      m_seen(std::make_shared<SeenAddresses>()), m_parallelJobs(QThread::idealThreadCount())
{
    for (qsizetype i = 0; i < pdfs.size(); ++i)
        row(i).pdf = pdfs[i];
}

BatchRun::~BatchRun()
{
    abort();
}

void BatchRun::setParallelJobs(int jobs)
{
    m_parallelJobs = std::max(1, jobs);
}

void BatchRun::continueAfter(BatchRun &earlier)
{
    m_seen = earlier.m_seen; // shared: the counts go on too
    m_passwords = earlier.passwordsToTry();
    for (const Row &done : earlier.m_rows) {
        for (const QString &password : done.passwords) {
            if (!m_passwords.contains(password))
                m_passwords.append(password);
        }
    }
}

void BatchRun::start()
{
    fill();
}

void BatchRun::abort()
{
    m_aborted = true;
    endConversions();
}

void BatchRun::stop()
{
    if (m_finished || m_aborted)
        return;
    m_stopped = true;
    endConversions();
    m_finished = true;
    showProgress(0, RestingCaption(QString()));
    Q_EMIT finished();
}

void BatchRun::endConversions()
{
    for (Row &each : m_rows)
        each.conversion.reset(); // ends its converter at once
}

void BatchRun::fill()
{
    while (!m_aborted && !m_stopped && !m_prompting && m_running < m_parallelJobs &&
           m_nextToStart < fileCount()) {
        const QPointer<BatchRun> alive(this);
        startRow(m_nextToStart++);
        if (!alive)
            return;
    }
    reportReadyRows();
}

void BatchRun::startRow(qsizetype index)
{
    Row &started = row(index);
    started.progressValue = static_cast<int>((index + 1) * 100 / fileCount());
    started.progressText = u"Processing: "_s + FileNameOfPath(started.pdf);
    m_restingText = started.progressText;
    showProgress(started.progressValue, started.progressText);
    convert(index, passwordsToTry());
}

QStringList BatchRun::passwordsToTry() const
{
    QStringList passwords;
    if (m_sharedPassword && !m_sharedPassword->isEmpty())
        passwords.append(*m_sharedPassword);
    for (const QString &password : m_passwords) {
        if (!passwords.contains(password))
            passwords.append(password);
    }
    return passwords;
}

void BatchRun::convert(qsizetype index, const QStringList &passwords)
{
    Row &converting = row(index);
    converting.passwords = passwords;
    converting.opened = false;
    converting.waitsForPassword = false;
    ConversionRequest request;
    request.pdf = converting.pdf;
    request.passwords = passwords;
    request.timeoutMs = m_timeoutMs;
    request.recognise = !m_languages.isEmpty();
    request.languages = m_languages;
    request.links = m_links;
    converting.conversion = m_converter.convert(request);
    Conversion *conversion = converting.conversion.get();
    connect(conversion, &Conversion::polled, this, [this, index](int counter) { onPolled(index, counter); });
    connect(conversion, &Conversion::opened, this, [this, index] {
        row(index).opened = true;
        askForPasswords(); // a later file may have waited for this one to open
        fill();
    });
    connect(conversion, &Conversion::recognising, this,
            [this, index](int page, int pages) { onRecognising(index, page, pages); });
    connect(conversion, &Conversion::pageConverted, this, [this, index](int page, const QByteArray &text) {
        Row &paged = row(index);
        // Recognised text has the typical misreadings of addresses mended where that is unambiguous.
        const bool recognised = page == paged.recognisedPage;
        const QByteArray pageText = recognised ? RepairRecognisedText(text) : text;
        paged.readability.examine(pageText);
        onText(index, page, pageText, recognised ? FoundVia::Recognised : FoundVia::Text);
    });
    connect(conversion, &Conversion::linkFound, this, [this, index](int page, const QByteArray &target) {
        onText(index, page, MailtoAddresses(target), FoundVia::Link);
    });
    connect(conversion, &Conversion::finished, this,
            [this, index](ConversionOutcome outcome) { onConverted(index, outcome); });
    ++m_running;
    conversion->start();
}

// Prompts come in row order: a file waits with its prompt until every file before it
// has opened or ended, since any of those may need a password first.
void BatchRun::askForPasswords()
{
    if (m_prompting)
        return;
    for (qsizetype i = m_nextToReport; i < m_nextToStart; ++i) {
        const Row &candidate = row(i);
        if (candidate.waitsForPassword) {
            if (!answerWaitingRow(i))
                return;
            continue;
        }
        if (!candidate.outcome && !candidate.opened && !candidate.prompted)
            return;
    }
}

// Retries a file that needs a password with the one the user gives, or settles it;
// false when the run ended or went away meanwhile.
bool BatchRun::answerWaitingRow(qsizetype index)
{
    Row &waiting = row(index);
    const ConversionOutcome refused = *waiting.outcome;
    waiting.outcome.reset();
    const PasswordMode mode = m_host.passwordMode();
    const bool ask = mode == PasswordMode::PerFile || (mode == PasswordMode::SameForAll && !m_sharedPassword);
    if (!ask) {
        // The answer for all files was given already: tried once here, if it was not.
        const bool untried = mode == PasswordMode::SameForAll && !m_sharedPassword->isEmpty() &&
                             !waiting.passwords.contains(*m_sharedPassword);
        waiting.prompted = true;
        if (untried)
            convert(index, passwordsToTry());
        else
            settle(index, refused);
        return true;
    }
    const QPointer<BatchRun> alive(this);
    m_prompting = true;
    const std::optional<QString> answer = m_host.askPassword(
        mode == PasswordMode::SameForAll ? PasswordPrompt::ForAllFiles : PasswordPrompt::ForFile,
        waiting.pdf);
    if (!alive)
        return false;
    m_prompting = false;
    if (m_aborted || m_stopped)
        return false;
    if (!answer) {
        stop();
        return false;
    }
    waiting.prompted = true;
    if (mode == PasswordMode::SameForAll)
        m_sharedPassword = *answer;
    if (answer->isEmpty()) {
        waiting.passwords.clear(); // no password given for it
        settle(index, refused);
    } else {
        convert(index,
                mode == PasswordMode::SameForAll ? passwordsToTry() : QStringList{*answer} + m_passwords);
    }
    return true;
}

qsizetype BatchRun::oldestRunning() const
{
    for (qsizetype i = m_nextToReport; i < m_nextToStart; ++i) {
        const Row &candidate = row(i);
        if (candidate.conversion && candidate.conversion->isRunning())
            return i;
    }
    return -1;
}

void BatchRun::onPolled(qsizetype index, int counter)
{
    if (index != oldestRunning())
        return;
    const Row &waiting = row(index);
    const std::optional<QString> caption = WaitCaption(waiting.progressText, counter);
    const std::optional<int> value =
        CreepValue(counter, static_cast<int>(fileCount()), waiting.progressValue);
    if (caption || value)
        showProgress(value.value_or(m_value), caption.value_or(m_caption));
}

void BatchRun::onRecognising(qsizetype index, int page, int pages)
{
    // Recognition is slow: the caption says which page, and a long wait counts on from it.
    Row &reading = row(index);
    reading.recognisedPage = page;
    reading.progressText = u"Reading scanned pages: "_s + FileNameOfPath(reading.pdf) + u" (page "_s +
                           QString::number(page) + u" of "_s + QString::number(pages) + u')';
    if (index == oldestRunning())
        showProgress(m_value, reading.progressText);
}

void BatchRun::onText(qsizetype index, int page, const QByteArray &text, FoundVia via)
{
    Row &converting = row(index);
    // Every file before this one is reported: its addresses go out as they are found,
    // and a file of a million addresses is not held twice.
    const bool reported = index == m_nextToReport;
    SeenAddresses &seen = reported ? *m_seen : converting.seen;
    QList<Sighting> found;
    for (const QString &address : ExtractEmailToArray(text, seen, m_rules))
        found.append({address, page, via});
    if (via != FoundVia::Link && m_rules.has(AddressRule::Disguised)) {
        for (const QString &address : ExtractDisguised(text, seen, m_rules))
            found.append({address, page, FoundVia::Disguised});
    }
    if (reported)
        emitFresh(found, converting.pdf);
    else
        converting.addresses += found;
}

void BatchRun::onConverted(qsizetype index, ConversionOutcome outcome)
{
    Row &converted = row(index);
    --m_running;
    // Its signal is still being delivered; let it return first.
    converted.conversion.release()->deleteLater();
    // The caption counts on only while the oldest conversion still waits.
    const qsizetype oldest = oldestRunning();
    if (oldest < 0 || row(oldest).conversion->pollCount() < 50)
        showProgress(m_value, RestingCaption(m_restingText));
    const bool refused =
        outcome == ConversionOutcome::NeedsPassword || outcome == ConversionOutcome::WrongPassword;
    converted.outcome = outcome;
    if (refused && !converted.prompted && m_host.passwordMode() != PasswordMode::None)
        converted.waitsForPassword = true;
    const QPointer<BatchRun> alive(this);
    askForPasswords();
    if (alive)
        fill();
}

void BatchRun::settle(qsizetype index, ConversionOutcome outcome)
{
    row(index).outcome = outcome;
    row(index).waitsForPassword = false;
}

void BatchRun::reportReadyRows()
{
    const QPointer<BatchRun> alive(this);
    while (!m_aborted && !m_stopped && m_nextToReport < m_nextToStart) {
        Row &next = row(m_nextToReport);
        reportAddresses(next);
        if (!alive)
            return; // a receiver of the addresses ended the run
        if (!next.outcome || next.waitsForPassword)
            break; // still converting, or waiting for a password; its pages report themselves
        if (*next.outcome != ConversionOutcome::Text || next.readability.unreadable())
            m_unreadable.append({next.pdf, ReasonFor(*next.outcome, !next.passwords.isEmpty())});
        ++m_nextToReport;
    }
    if (!m_aborted && !m_finished && m_nextToReport == fileCount()) {
        m_finished = true;
        showProgress(0, RestingCaption(QString()));
        Q_EMIT finished();
    }
}

void BatchRun::reportAddresses(Row &reported)
{
    // Each file's own first spellings, sifted in row order: the run's first spellings.
    // The pages that came whole count, also of a file that failed later on.
    QList<FoundAddress> fresh;
    for (const Sighting &sighting : std::as_const(reported.addresses)) {
        const QByteArray key = sighting.address.toLatin1();
        if (m_seen->insert(key, reported.seen.count(key)))
            fresh.append({sighting.address, reported.pdf, sighting.page, m_seen, sighting.via});
    }
    reported.addresses.clear();
    reported.seen = SeenAddresses();
    if (!fresh.isEmpty())
        Q_EMIT addressesFound(fresh);
}

void BatchRun::emitFresh(const QList<Sighting> &fresh, const QString &file)
{
    if (fresh.isEmpty())
        return;
    QList<FoundAddress> found;
    found.reserve(fresh.size());
    for (const Sighting &sighting : fresh)
        found.append({sighting.address, file, sighting.page, m_seen, sighting.via});
    Q_EMIT addressesFound(found);
}

void BatchRun::showProgress(int value, const QString &caption)
{
    // Values only grow during a run, also when several conversions creep at once.
    m_value = m_finished ? value : std::max(m_value, value);
    m_caption = caption;
    Q_EMIT progressChanged(m_value, m_caption);
}

} // namespace pelmora
