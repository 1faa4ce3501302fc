#include "app/RunController.h"

#include "app/AppTitle.h"
#include "app/CaptionProgressBar.h"
#include "app/Modal.h"
#include "app/TextListModel.h"
#include "cache/ResultsCache.h"
#include "core/Clock.h"
#include "run/Preview.h"

#include <QPointer>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// A double-click on "Start Extracting" must not stop what its first click started.
constexpr qint64 kStopGraceMs = 500;

QStringList scannedFiles(const QList<UnreadableFile> &unreadable)
{
    QStringList scans;
    for (const UnreadableFile &file : unreadable) {
        if (file.reason == UnreadableReason::TextUnreadable)
            scans.append(file.path);
    }
    return scans;
}

} // namespace

RunController::RunController(const Parts &parts, QObject *parent) : QObject(parent), m_parts(parts)
{
}

RunController::~RunController()
{
    abort();
}

QString RunController::stopQuestion()
{
    return u"Stop extracting? The addresses found so far stay in the results list."_s;
}

QString RunController::hiddenAction()
{
    return u"to read them, tick \"Read hidden files and folders\" in the Preferences and add the folders "
           u"again."_s;
}

QString RunController::recognitionAction()
{
    return u"Read Scanned Files (OCR)"_s;
}

void RunController::startOrStop()
{
    switch (m_state) {
    case State::Idle:
        break;
    case State::Running:
        if (m_parts.clock.now() - m_startedAt >= kStopGraceMs)
            askToStop();
        return;
    case State::AskingToStop:
    case State::EndedWhileAsking:
    case State::Summarising:
        return; // nothing to stop, and nothing new starts
    }
    const QStringList pdfs = m_parts.files.texts();
    if (pdfs.isEmpty()) {
        m_parts.modal.showMessage(AppTitle(), u"No files added."_s);
        return;
    }
    startRun(pdfs, false);
}

void RunController::startRun(const QStringList &pdfs, bool recognise)
{
    RunRequest request = m_parts.request();
    request.files = pdfs;
    if (!recognise)
        request.recognition.clear(); // the closing message offers to read the scans
    auto run = std::make_unique<BatchRun>(m_parts.converter(request.engine), m_parts.clock, request);
    run->setPasswordMode(m_parts.passwordMode);
    if (request.cache) {
        // One set aside is tried anew: a damaged one was moved aside, a full disk may have room.
        if (!m_cache || !m_cache->isUsable())
            m_cache = std::make_unique<ResultsCache>(request.cacheFolder, m_parts.clock);
        run->setResultsCache(m_cache.get(), true);
    }
    if (recognise)
        run->continueAfter(*m_run);
    m_run = std::move(run);
    m_recognising = recognise;
    m_state = State::Running;
    m_busy = std::make_unique<BusyState::Hold>(m_parts.busy);
    connect(m_run.get(), &BatchRun::progressChanged, &m_parts.progressBar, &CaptionProgressBar::display);
    connect(m_run.get(), &BatchRun::addressesFound, &m_parts.results,
            [this](const QList<AddressSource> &found) { m_parts.results.append(found); });
    connect(m_run.get(), &BatchRun::passwordNeeded, this, &RunController::askPassword);
    // From the event loop: the closing message is not shown from inside the run's step.
    connect(m_run.get(), &BatchRun::finished, this, &RunController::onRunFinished, Qt::QueuedConnection);
    m_startedAt = m_parts.clock.now();
    Q_EMIT runningChanged(true);
    m_run->start();
}

void RunController::askPassword(qsizetype row, PasswordPrompt prompt)
{
    const QPointer<BatchRun> asking(m_run.get());
    m_parts.modal.inputPassword(PasswordPromptTitle(), PasswordPromptText(prompt, m_run->pdf(row)),
                                [asking, row](const std::optional<QString> &password) {
                                    if (asking)
                                        asking->answer(row, password);
                                });
}

void RunController::askToStop()
{
    m_state = State::AskingToStop;
    m_parts.modal.askYesNo(AppTitle(), stopQuestion(), [this](bool stop) { onStopAnswer(stop); });
}

void RunController::onStopAnswer(bool stop)
{
    if (m_state == State::EndedWhileAsking) {
        summarise(); // the run ended by itself: there is nothing left to stop
        return;
    }
    if (m_state != State::AskingToStop)
        return;
    m_state = State::Running;
    if (stop)
        m_run->stop();
}

void RunController::onRunFinished()
{
    if (m_state == State::AskingToStop)
        m_state = State::EndedWhileAsking;
    else if (m_state == State::Running)
        summarise();
}

void RunController::summarise()
{
    const QList<UnreadableFile> unreadable = m_run->unreadableFiles();
    const qsizetype unsure = m_run->unsureFindings().size();
    // The run's own problems are named, a line each; the results are whole all the same.
    QString summary = m_run->isStopped()
                          ? StoppedMessage(m_run->reportedCount(), m_run->fileCount(), unreadable, unsure)
                          : SummaryMessage(unreadable, unsure);
    for (const QString &problem : m_run->problems())
        summary = WithProblem(summary, problem);
    if (m_parts.hiddenLeftOut)
        summary = WithProblem(summary, HiddenNote(m_parts.hiddenLeftOut(), hiddenAction()));
    const QStringList scans = m_recognising ? QStringList() : scannedFiles(unreadable);
    m_busy.reset();
    Q_EMIT runningChanged(false);
    // The run object stays until the message is closed, so a press meanwhile starts nothing.
    m_state = State::Summarising;
    const auto closed = [this, scans](bool recognise) { onSummaryClosed(recognise ? scans : QStringList()); };
    if (scans.isEmpty())
        m_parts.modal.showMessage(AppTitle(), summary, Modal::Icon::None, [closed] { closed(false); });
    else
        m_parts.modal.showMessageWithAction(AppTitle(), summary, recognitionAction(), closed);
}

void RunController::onSummaryClosed(const QStringList &toRecognise)
{
    if (m_state != State::Summarising)
        return;
    if (!toRecognise.isEmpty()) {
        startRun(toRecognise, true);
        return;
    }
    m_run.reset();
    m_state = State::Idle;
}

bool RunController::releaseCache()
{
    if (m_state != State::Idle)
        return false;
    m_cache.reset();
    return true;
}

void RunController::abort()
{
    m_run.reset();
    m_busy.reset();
    m_state = State::Idle;
}

} // namespace pelmora
