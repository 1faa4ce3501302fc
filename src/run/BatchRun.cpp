#include "run/BatchRun.h"

#include "cache/ResultsCache.h"
#include "convert/WaitProgress.h"
#include "core/FileHelpers.h"
#include "extract/KnownDomains.h"
#include "run/RunLog.h"

#include <QSet>
#include <QThread>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// The cached files settled in one step; then the run lets the event loop in, so that
// the window stays responsive over thousands of them.
constexpr int kCachedPerStep = 64;

} // namespace

BatchRun::BatchRun(Converter &converter, Clock &clock, const RunRequest &request, QObject *parent)
    : QObject(parent), m_converter(converter), m_clock(clock),
      m_rows(static_cast<std::size_t>(request.files.size())), m_seen(std::make_shared<SeenAddresses>()),
      m_problems(request.problems), m_unsure(std::make_shared<QList<UnsureFinding>>()),
      m_rules(request.passwords),
      m_parallelJobs(request.jobs > 0 ? request.jobs : std::max(1, QThread::idealThreadCount()))
{
    for (qsizetype i = 0; i < request.files.size(); ++i)
        row(i).pdf = request.files[i];
    m_options.like.timeoutMs = request.timeoutMs;
    m_options.like.links = request.links;
    m_options.like.notes = request.sources.notes;
    m_options.like.metadata = request.sources.metadata;
    m_options.like.attachments = request.sources.attachments;
    m_options.like.recognise = !request.recognition.isEmpty();
    m_options.like.languages = request.recognition;
    m_options.addressRules = request.rules;
    if (request.rules.has(AddressRule::KnownDomains) && !KnownDomains::system().problem().isEmpty())
        m_problems.append(KnownDomains::system().problem());
}

BatchRun::~BatchRun()
{
    abort();
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
    if (m_options.cache)
        m_options.cacheRules = CacheRules(m_converter, m_options);
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
    // The next run, or a command, may come before the cache would write. One that could not
    // be used is told once; the results are whole all the same.
    ResultsCache *cache = m_options.cache;
    if (cache && !cache->flush() && (cache->problemLasts() || !m_lastingCacheProblemsOnly))
        m_problems.append(cache->problem());
    showProgress(0, RestingCaption(QString()));
    Q_EMIT finished();
}

void BatchRun::endConversions()
{
    for (Row &each : m_rows) {
        each.workers = 0;
        if (each.reading)
            each.reading->cancel();
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
        if (nextRefusedRow() >= 0) {
            if (askNextRefused())
                return;
        } else if (!startRows(fromCache)) {
            return; // unless files settled from the cache: they may be reported now
        }
    }
}

// The next refused file takes its turn; true when the user is asked about it.
bool BatchRun::askNextRefused()
{
    const qsizetype refused = nextRefusedRow();
    const std::optional<PasswordPrompt> prompt = reading(refused)->takeTurn(passwordMode());
    countWorkers(refused);
    if (!prompt)
        return false;
    m_asking = refused;
    Q_EMIT passwordNeeded(refused, *prompt);
    return true;
}

// Prompts come in row order: a file waits with its prompt until every file before it
// has opened or ended, since any of those may need a password first. One at a time.
qsizetype BatchRun::nextRefusedRow() const
{
    for (qsizetype i = m_nextToReport; i < m_nextToStart; ++i) {
        const FileReading *candidate = reading(i);
        if (candidate->isRefused())
            return i;
        if (candidate->holdsPrompts())
            return -1;
    }
    return -1;
}

void BatchRun::answer(qsizetype index, const std::optional<QString> &password)
{
    if (m_state != State::Running || index != m_asking)
        return;
    if (!password) {
        stop();
        return;
    }
    m_asking = -1;
    reading(index)->answer(*password);
    countWorkers(index);
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
    started.reading = std::make_unique<FileReading>(m_converter, started.pdf, m_options, m_rules);
    FileReading *reading = started.reading.get();
    reading->setSplitting(m_clock);
    connect(reading, &FileReading::polled, this, [this, index](int counter) { onPolled(index, counter); });
    connect(reading, &FileReading::recognising, this,
            [this, index](int page, int pages) { onRecognising(index, page, pages); });
    connect(reading, &FileReading::addressesFound, this, &BatchRun::addressesFound);
    // A later file may have waited for this one to open, or for a worker to be free.
    connect(reading, &FileReading::opened, this, &BatchRun::advance);
    connect(reading, &FileReading::partsChanged, this, [this, index] {
        countWorkers(index);
        advance();
    });
    connect(reading, &FileReading::conversionEnded, this, [this, index] { onConversionEnded(index); });
    const bool settled = reading->start();
    countWorkers(index);
    return settled;
}

// Workers that no file waits for take over the later half of the largest file's pages
// still to come, again and again while there are such workers.
void BatchRun::shareIdleWorkers()
{
    while (m_running < m_parallelJobs && m_nextToStart == fileCount()) {
        qsizetype largest = -1;
        int most = 0;
        for (qsizetype i = m_nextToReport; i < m_nextToStart; ++i) {
            const int pages = reading(i)->pagesToSplit();
            if (pages > most) {
                largest = i;
                most = pages;
            }
        }
        if (largest < 0 || !reading(largest)->split())
            return;
        qCDebug(lcRun) << "shared out:" << row(largest).pdf << most << "pages to come";
        countWorkers(largest);
    }
}

void BatchRun::countWorkers(qsizetype index)
{
    Row &counted = row(index);
    const int workers = counted.reading ? counted.reading->parts() : 0;
    m_running += workers - counted.workers;
    counted.workers = workers;
}

qsizetype BatchRun::oldestRunning() const
{
    for (qsizetype i = m_nextToReport; i < m_nextToStart; ++i) {
        if (reading(i)->isConverting())
            return i;
    }
    return -1;
}

void BatchRun::onPolled(qsizetype index, int counter)
{
    if (index != oldestRunning())
        return;
    const Row &waiting = m_rows[static_cast<std::size_t>(index)];
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

void BatchRun::onConversionEnded(qsizetype index)
{
    countWorkers(index);
    // The caption counts on only while the oldest conversion still waits.
    const qsizetype oldest = oldestRunning();
    if (oldest < 0 || !IsLongWait(reading(oldest)->pollCount()))
        showProgress(m_value, RestingCaption(m_restingText));
    advance();
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

void BatchRun::reportSettledRows()
{
    // A receiver of the addresses may stop the run.
    while (m_state == State::Running && m_nextToReport < m_nextToStart) {
        Row &next = row(m_nextToReport);
        // Each file's own first spellings, sifted in row order: the run's first spellings.
        next.reading->report(m_seen);
        if (!next.reading->isSettled())
            break; // still converting, or waiting for a password; its pages report themselves
        if (const std::optional<UnreadableFile> unreadable = next.reading->unreadable())
            m_unreadable.append(*unreadable);
        m_unreadable.append(next.reading->attachmentsNotRead());
        *m_unsure += next.reading->takeUnsure();
        // Its signal may still be under way; the run takes it along if it goes first.
        next.reading->setParent(this);
        next.reading.release()->deleteLater();
        ++m_nextToReport;
    }
}

void BatchRun::showProgress(int value, const QString &caption)
{
    // Values only grow during a run, also when several conversions creep at once.
    m_value = isFinished() ? value : std::max(m_value, value);
    m_caption = caption;
    Q_EMIT progressChanged(m_value, m_caption);
}

} // namespace pelmora
