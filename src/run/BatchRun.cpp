#include "run/BatchRun.h"

#include "convert/WaitProgress.h"
#include "core/FileHelpers.h"
#include "extract/DisguisedAddresses.h"
#include "extract/OcrRepair.h"
#include "run/RunLog.h"

#include <QSet>
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
    case ConversionOutcome::Failed:
        return UnreadableReason::Failed;
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

BatchRun::BatchRun(Converter &converter, const QStringList &pdfs, QObject *parent)
    : QObject(parent), m_converter(converter), m_rows(static_cast<std::size_t>(pdfs.size())),
      m_seen(std::make_shared<SeenAddresses>()), m_unsure(std::make_shared<QList<UnsureFinding>>()),
      m_parallelJobs(QThread::idealThreadCount())
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

void BatchRun::continueAfter(const BatchRun &earlier)
{
    m_seen = earlier.m_seen; // shared: the counts go on too
    m_unsure = earlier.m_unsure;
    m_rules = PasswordRules(earlier.m_rules.everyPassword());
}

void BatchRun::start()
{
    if (m_state != State::Idle)
        return;
    m_state = State::Running;
    advance();
}

void BatchRun::abort()
{
    if (m_state == State::Running || m_state == State::Idle)
        m_state = State::Aborted;
    endConversions();
}

void BatchRun::stop()
{
    if (m_state != State::Running)
        return;
    qCDebug(lcRun) << "stopped after" << m_nextToReport << "of" << fileCount() << "files";
    end(State::Stopped);
}

void BatchRun::end(State how)
{
    m_state = how;
    endConversions();
    showProgress(0, RestingCaption(QString()));
    Q_EMIT finished();
}

void BatchRun::endConversions()
{
    for (Row &each : m_rows) {
        if (!each.conversion)
            continue;
        // This may run inside one of the conversion's own signals: it goes later.
        each.conversion->disconnect(this);
        each.conversion->cancel();
        each.conversion.release()->deleteLater();
    }
    m_running = 0;
}

// One step of the run after anything changed: reports what can be reported, deals with
// the next file waiting for a password, and starts files while no prompt is open.
void BatchRun::advance()
{
    while (m_state == State::Running) {
        reportSettledRows();
        if (m_nextToReport == fileCount()) {
            end(State::Finished);
            return;
        }
        const qsizetype refused = nextRefusedRow();
        if (refused < 0)
            break;
        Row &waiting = row(refused);
        const PasswordMode mode = passwordMode();
        switch (m_rules.onRefused(mode, waiting.passwords, waiting.passwordHandled)) {
        case PasswordRules::Step::Settle:
            settle(waiting, waiting.outcome);
            break;
        case PasswordRules::Step::Retry:
            waiting.passwordHandled = true;
            convert(refused, m_rules.toTry());
            break;
        case PasswordRules::Step::Ask:
            waiting.state = RowState::AwaitingAnswer;
            waiting.prompt = PasswordRules::prompt(mode);
            qCDebug(lcRun) << "asking for a password:" << waiting.pdf;
            Q_EMIT passwordNeeded(refused, waiting.prompt);
            return;
        }
    }
    startRows();
}

// Prompts come in row order: a file waits with its prompt until every file before it
// has opened or ended, since any of those may need a password first. One at a time.
qsizetype BatchRun::nextRefusedRow() const
{
    for (qsizetype i = m_nextToReport; i < m_nextToStart; ++i) {
        switch (row(i).state) {
        case RowState::Refused:
            return i;
        case RowState::Converting:
        case RowState::AwaitingAnswer:
            return -1;
        case RowState::Queued:
        case RowState::Opened:
        case RowState::Settled:
        case RowState::Reported:
            break;
        }
    }
    return -1;
}

void BatchRun::answer(qsizetype index, const std::optional<QString> &password)
{
    if (m_state != State::Running || index < 0 || index >= fileCount() ||
        row(index).state != RowState::AwaitingAnswer)
        return;
    if (!password) {
        stop();
        return;
    }
    Row &answered = row(index);
    answered.passwordHandled = true;
    const QStringList passwords = m_rules.onAnswer(answered.prompt, *password);
    if (passwords.isEmpty()) {
        answered.passwords.clear(); // no password given for it
        settle(answered, answered.outcome);
    } else {
        convert(index, passwords);
    }
    advance();
}

void BatchRun::startRows()
{
    // Nothing new starts while the user is asked for a password.
    const auto awaitingAnswer = [this] {
        for (qsizetype i = m_nextToReport; i < m_nextToStart; ++i) {
            if (row(i).state == RowState::AwaitingAnswer)
                return true;
        }
        return false;
    };
    while (m_state == State::Running && m_running < m_parallelJobs && m_nextToStart < fileCount() &&
           !awaitingAnswer())
        startRow(m_nextToStart++);
}

void BatchRun::startRow(qsizetype index)
{
    Row &started = row(index);
    started.progressValue = static_cast<int>((index + 1) * 100 / fileCount());
    started.progressText = u"Processing: "_s + FileNameOfPath(started.pdf);
    m_restingText = started.progressText;
    showProgress(started.progressValue, started.progressText);
    convert(index, m_rules.toTry());
}

void BatchRun::convert(qsizetype index, const QStringList &passwords)
{
    Row &converting = row(index);
    converting.state = RowState::Converting;
    converting.passwords = passwords;
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
    connect(conversion, &Conversion::progressed, this,
            [this, index](const ConversionEvent &event) { onEvent(index, event); });
    ++m_running;
    conversion->start();
}

void BatchRun::onEvent(qsizetype index, const ConversionEvent &event)
{
    switch (event.kind) {
    case ConversionEvent::Kind::Opened:
        row(index).state = RowState::Opened;
        advance(); // a later file may have waited for this one to open
        return;
    case ConversionEvent::Kind::Recognising:
        onRecognising(index, event.page, event.pages);
        return;
    case ConversionEvent::Kind::Page:
        onPage(index, event);
        return;
    case ConversionEvent::Kind::Finished:
        onFinished(index, event);
        return;
    }
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
    reading.progressText = u"Reading scanned pages: "_s + FileNameOfPath(reading.pdf) + u" (page "_s +
                           QString::number(page) + u" of "_s + QString::number(pages) + u')';
    if (index == oldestRunning())
        showProgress(m_value, reading.progressText);
}

void BatchRun::onPage(qsizetype index, const ConversionEvent &page)
{
    // Recognised text has the typical misreadings of addresses mended where that is unambiguous.
    const QByteArray text = page.recognised ? RepairRecognisedText(page.text) : page.text;
    row(index).readability.examine(text);
    onText(index, page.page, text, page.recognised ? FoundVia::Recognised : FoundVia::Text);
    for (const QByteArray &target : page.links)
        onText(index, page.page, MailtoAddresses(target), FoundVia::Link);
    for (const UnsureAddress &unsure : page.unsure) {
        QStringList alternatives;
        for (const QByteArray &alternative : unsure.alternatives)
            alternatives.append(QString::fromUtf8(alternative));
        row(index).unsure.append(
            {row(index).pdf, page.page, QString::fromUtf8(unsure.address), alternatives});
    }
}

QList<UnsureFinding> BatchRun::unsureFindings() const
{
    // Decided at the end: an address met in text anywhere in the run confirms the reading,
    // and is listed already.
    const auto seen = [this](const QString &address) { return m_seen->count(address.toLatin1()) > 0; };
    QList<UnsureFinding> findings;
    QSet<QString> listed;
    for (const UnsureFinding &finding : std::as_const(*m_unsure)) {
        const QString key = finding.address.toLower();
        if (seen(finding.address) ||
            std::any_of(finding.alternatives.cbegin(), finding.alternatives.cend(), seen) ||
            listed.contains(key))
            continue;
        listed.insert(key);
        findings.append(finding);
    }
    return findings;
}

void BatchRun::onText(qsizetype index, int page, const QByteArray &text, FoundVia via)
{
    if (m_state != State::Running)
        return; // a receiver of the page's first addresses stopped the run
    Row &converting = row(index);
    // Every file before this one is reported: its addresses go out as they are found,
    // and a file of a million addresses is not held twice.
    const bool reported = index == m_nextToReport;
    SeenAddresses &seen = reported ? *m_seen : converting.seen;
    QList<Sighting> found;
    for (const QString &address : ExtractEmailToArray(text, seen, m_addressRules))
        found.append({address, page, via});
    if (via != FoundVia::Link && m_addressRules.has(AddressRule::Disguised)) {
        for (const QString &address : ExtractDisguised(text, seen, m_addressRules))
            found.append({address, page, FoundVia::Disguised});
    }
    if (reported)
        emitFresh(found, converting.pdf);
    else
        converting.addresses += found;
}

void BatchRun::onFinished(qsizetype index, const ConversionEvent &end)
{
    Row &converted = row(index);
    --m_running;
    // Its signal is still being delivered; let it return first.
    converted.conversion.release()->deleteLater();
    // The caption counts on only while the oldest conversion still waits.
    const qsizetype oldest = oldestRunning();
    if (oldest < 0 || !IsLongWait(row(oldest).conversion->pollCount()))
        showProgress(m_value, RestingCaption(m_restingText));
    converted.detail = end.detail;
    const bool refused =
        end.outcome == ConversionOutcome::NeedsPassword || end.outcome == ConversionOutcome::WrongPassword;
    if (refused) {
        converted.state = RowState::Refused;
        converted.outcome = end.outcome;
    } else {
        settle(converted, end.outcome);
    }
    advance();
}

void BatchRun::settle(Row &settled, ConversionOutcome outcome)
{
    settled.state = RowState::Settled;
    settled.outcome = outcome;
}

void BatchRun::reportSettledRows()
{
    // A receiver of the addresses may stop the run.
    while (m_state == State::Running && m_nextToReport < m_nextToStart) {
        Row &next = row(m_nextToReport);
        reportAddresses(next);
        if (next.state != RowState::Settled)
            break; // still converting, or waiting for a password; its pages report themselves
        if (next.outcome != ConversionOutcome::Text || next.readability.unreadable()) {
            const UnreadableReason reason = ReasonFor(next.outcome, !next.passwords.isEmpty());
            // Only a failure is told in the converter's words; poppler's error codes are for the log.
            m_unreadable.append(
                {next.pdf, reason, reason == UnreadableReason::Failed ? next.detail : QString()});
        }
        *m_unsure += std::exchange(next.unsure, {});
        next.state = RowState::Reported;
        ++m_nextToReport;
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
    m_value = isFinished() ? value : std::max(m_value, value);
    m_caption = caption;
    Q_EMIT progressChanged(m_value, m_caption);
}

} // namespace pelmora
