#include "run/BatchRun.h"

#include "cache/ResultsCache.h"
#include "convert/WaitProgress.h"
#include "core/FileHelpers.h"
#include "extract/DisguisedAddresses.h"
#include "extract/OcrRepair.h"
#include "run/RunLog.h"

#include <QSet>
#include <QThread>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// Bumped with every change to what the program makes of a converted text (the address
// rules, the repair of recognised text, the readability test), so that the results an
// earlier build kept are not taken for this one's.
constexpr int kResultsRevision = 2;

// A file's result is kept only while it holds no more addresses than this: beyond, the
// file's own tally and sightings would be a second copy of a huge run's.
constexpr qsizetype kMostKeptAddresses = 50000;

// The cached files settled in one step; then the run lets the event loop in, so that
// the window stays responsive over thousands of them.
constexpr int kCachedPerStep = 64;

} // namespace

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

BatchRun::BatchRun(Converter &converter, Clock &clock, const QStringList &pdfs, QObject *parent)
    : QObject(parent), m_converter(converter), m_clock(clock), m_rows(static_cast<std::size_t>(pdfs.size())),
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
    if (m_cache)
        m_resultRules = resultRules();
    advance();
}

// Everything besides the file that shapes what a file gives this run; empty when the
// converter cannot tell its part.
QString BatchRun::resultRules()
{
    const QString converter = m_converter.identity(request(QString(), {}));
    if (converter.isEmpty())
        return {};
    return u"pelmora "_s + QStringLiteral(PELMORA_VERSION) + u", results "_s +
           QString::number(kResultsRevision) + u"\n"_s + converter + u"\nlinks "_s +
           (m_links ? u"yes"_s : u"no"_s) + u'\n' + m_addressRules.describe();
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
        each.workers = 0;
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
    int fromCache = 0;
    while (m_state == State::Running) {
        reportSettledRows();
        if (m_nextToReport == fileCount()) {
            end(State::Finished);
            return;
        }
        const qsizetype refused = nextRefusedRow();
        if (refused < 0) {
            if (startRows(fromCache))
                continue; // files settled from the cache: they may be reported now
            return;
        }
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
            m_asking = refused;
            waiting.prompt = PasswordRules::prompt(mode);
            qCDebug(lcRun) << "asking for a password:" << waiting.pdf;
            Q_EMIT passwordNeeded(refused, waiting.prompt);
            return;
        }
    }
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
    m_asking = -1;
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

// Starts files while workers are free, and shares out the rest; true when files
// settled from the cache, which `fromCache` counts for the step.
bool BatchRun::startRows(int &fromCache)
{
    // Nothing new starts while the user is asked for a password.
    bool settled = false;
    while (m_state == State::Running && m_running < m_parallelJobs && m_nextToStart < fileCount() &&
           m_asking < 0) {
        if (fromCache == kCachedPerStep) {
            if (!std::exchange(m_stepQueued, true))
                QMetaObject::invokeMethod(
                    this,
                    [this] {
                        m_stepQueued = false;
                        advance();
                    },
                    Qt::QueuedConnection);
            return settled;
        }
        if (startRow(m_nextToStart++)) {
            ++fromCache;
            settled = true;
        }
    }
    if (m_state == State::Running && m_asking < 0)
        shareIdleWorkers();
    return settled;
}

// True when the file settled at once from the cache.
bool BatchRun::startRow(qsizetype index)
{
    Row &started = row(index);
    started.progressValue = static_cast<int>((index + 1) * 100 / fileCount());
    started.progressText = u"Processing: "_s + FileNameOfPath(started.pdf);
    m_restingText = started.progressText;
    showProgress(started.progressValue, started.progressText);
    if (takeFromCache(started))
        return true;
    convert(index, m_rules.toTry());
    return false;
}

// Settles the file with its result kept by an earlier run, if there is one. Otherwise
// its stamp stays, so that its result can be kept once it is converted.
bool BatchRun::takeFromCache(Row &started)
{
    if (m_resultRules.isEmpty())
        return false;
    started.stamp = FileStamp::of(started.pdf);
    if (!started.stamp)
        return false;
    const std::optional<FileResult> kept = m_cache->lookup(*started.stamp, m_resultRules);
    if (!kept || !replay(started, *kept))
        return false;
    started.stamp.reset();
    started.passwords.clear();
    qCDebug(lcRun) << "taken from the cache:" << started.pdf;
    settle(started,
           kept->verdict == FileVerdict::Damaged ? ConversionOutcome::Damaged : ConversionOutcome::Text);
    return true;
}

// Workers that no file waits for take over the later half of the largest file's pages
// still to come, again and again while there are such workers.
void BatchRun::shareIdleWorkers()
{
    while (m_running < m_parallelJobs && m_nextToStart == fileCount()) {
        Row *largest = nullptr;
        int most = 0;
        for (qsizetype i = m_nextToReport; i < m_nextToStart; ++i) {
            Row &candidate = row(i);
            const int pages = candidate.conversion ? candidate.conversion->pagesToSplit() : 0;
            if (pages > most) {
                largest = &candidate;
                most = pages;
            }
        }
        if (!largest || !largest->conversion->split())
            return;
        qCDebug(lcRun) << "shared out:" << largest->pdf << most << "pages to come";
        countWorkers(*largest);
    }
}

ConversionRequest BatchRun::request(const QString &pdf, const QStringList &passwords) const
{
    ConversionRequest request;
    request.pdf = pdf;
    request.passwords = passwords;
    request.timeoutMs = m_timeoutMs;
    request.recognise = !m_languages.isEmpty();
    request.languages = m_languages;
    request.links = m_links;
    return request;
}

void BatchRun::convert(qsizetype index, const QStringList &passwords)
{
    Row &converting = row(index);
    converting.state = RowState::Converting;
    converting.passwords = passwords;
    converting.conversion =
        std::make_unique<SplittableConversion>(m_converter, m_clock, request(converting.pdf, passwords));
    SplittableConversion *conversion = converting.conversion.get();
    connect(conversion, &Conversion::polled, this, [this, index](int counter) { onPolled(index, counter); });
    connect(conversion, &Conversion::progressed, this,
            [this, index](const ConversionEvent &event) { onEvent(index, event); });
    connect(conversion, &SplittableConversion::partsChanged, this, [this, index] {
        countWorkers(row(index));
        advance(); // a worker is free
    });
    conversion->start();
    countWorkers(converting);
}

void BatchRun::countWorkers(Row &converting)
{
    const int workers = converting.conversion ? converting.conversion->parts() : 0;
    m_running += workers - converting.workers;
    converting.workers = workers;
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
    const auto seen = [this](const QString &address) { return m_seen->count(address) > 0; };
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
    // Every file before this one is reported: its addresses go out as they are found.
    // It counts on its own as well only while its result may be kept, so that a file of
    // a million addresses is not held twice.
    const bool reported = index == m_nextToReport;
    const bool ownTally = !reported || converting.stamp;
    SeenAddresses &seen = ownTally ? converting.seen : *m_seen;
    QList<Sighting> found;
    for (const QString &address : ExtractEmailToArray(text, seen, m_addressRules))
        found.append({address, page, via});
    if (via != FoundVia::Link && m_addressRules.has(AddressRule::Disguised)) {
        for (const QString &address : ExtractDisguised(text, seen, m_addressRules))
            found.append({address, page, FoundVia::Disguised});
    }
    if (!ownTally) {
        emitFresh(found, converting.pdf);
        return;
    }
    converting.addresses += found;
    if (!reported) {
        if (converting.addresses.size() > kMostKeptAddresses)
            forgetResult(index);
        return;
    }
    // Its tally counts into the run's (see reportAddresses): an address is new to the run
    // when no other file counted it.
    QList<Sighting> fresh;
    for (const Sighting &sighting : std::as_const(found)) {
        if (m_seen->count(sighting.address) == converting.seen.count(sighting.address))
            fresh.append(sighting);
    }
    converting.listed = converting.addresses.size();
    if (converting.addresses.size() > kMostKeptAddresses)
        forgetResult(index);
    emitFresh(fresh, converting.pdf);
}

void BatchRun::onFinished(qsizetype index, const ConversionEvent &end)
{
    Row &converted = row(index);
    // Its signal is still being delivered; let it return first.
    converted.conversion.release()->deleteLater();
    countWorkers(converted);
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
        keepResult(index, end);
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
    for (qsizetype i = reported.listed; i < reported.addresses.size(); ++i) {
        const Sighting &sighting = reported.addresses[i];
        const int count = sighting.count > 0 ? sighting.count : reported.seen.count(sighting.address);
        if (m_seen->insert(sighting.address, count))
            fresh.append({sighting.address, reported.pdf, sighting.page, m_seen, sighting.via});
    }
    if (reported.stamp) {
        // Its result may be kept: its own tally goes on, counting into the run's.
        reported.listed = reported.addresses.size();
        reported.seen.countAlsoIn(m_seen.get());
    } else {
        reported.addresses.clear();
        reported.seen = SeenAddresses();
        reported.listed = 0;
    }
    if (!fresh.isEmpty())
        Q_EMIT addressesFound(fresh);
}

// Keeps the result of a file converted to its end, when it is what the file gives any
// run under the same rules: the converter judged the file, no password was tried on it
// (its addresses would then be readable without one), and it is still as it was. A file
// with unsure recognised addresses is not kept: whether they count depends on the run.
void BatchRun::keepResult(qsizetype index, const ConversionEvent &end)
{
    Row &converted = row(index);
    const bool verdict =
        end.judged && (end.outcome == ConversionOutcome::Text || end.outcome == ConversionOutcome::Damaged);
    if (converted.stamp && verdict && converted.passwords.isEmpty() && converted.unsure.isEmpty() &&
        FileStamp::of(converted.pdf) == converted.stamp)
        m_cache->store(*converted.stamp, m_resultRules, resultOf(converted),
                       ResultsCache::Opening::WithoutPassword);
    forgetResult(index);
}

// The file's result is not kept: its own tally and sightings go, unless its report
// still needs them.
void BatchRun::forgetResult(qsizetype index)
{
    Row &forgotten = row(index);
    forgotten.stamp.reset();
    if (index > m_nextToReport)
        return;
    forgotten.seen = SeenAddresses();
    forgotten.addresses.clear();
    forgotten.listed = 0;
}

FileResult BatchRun::resultOf(const Row &converted)
{
    FileResult result;
    if (converted.outcome == ConversionOutcome::Damaged)
        result.verdict = FileVerdict::Damaged;
    else if (converted.readability.unreadable())
        result.verdict = FileVerdict::TextUnreadable;
    result.addresses.reserve(converted.addresses.size());
    for (const Sighting &sighting : converted.addresses)
        result.addresses.append(
            {sighting.address, sighting.page, converted.seen.count(sighting.address), ViaName(sighting.via)});
    return result;
}

// Takes a kept result as the file's own sightings; false for one that this version
// cannot read.
bool BatchRun::replay(Row &replayed, const FileResult &result)
{
    QList<Sighting> addresses;
    addresses.reserve(result.addresses.size());
    QString name;
    std::optional<FoundVia> via;
    for (const FileAddress &each : result.addresses) {
        if (each.via != name)
            via = ViaNamed(name = each.via);
        if (!via)
            return false;
        addresses.append({each.address, each.page, *via, each.count});
    }
    replayed.addresses = std::move(addresses);
    replayed.listed = 0;
    if (result.verdict == FileVerdict::TextUnreadable)
        replayed.readability.examine("\f"); // what a scanned page gives
    return true;
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
