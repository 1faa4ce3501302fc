#include "app/RunController.h"

#include "app/AppTitle.h"
#include "app/BusyPointer.h"
#include "app/CaptionProgressBar.h"
#include "app/Modal.h"
#include "app/TextListModel.h"
#include "core/Clock.h"

#include <QPointer>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// A double-click on "Start Extracting" must not stop what its first click started.
constexpr qint64 kStopGraceMs = 500;
// The language of the scans, as the window offers no choice.
const auto kScanLanguages = u"eng"_s;

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

QString RunController::recognitionAction()
{
    return u"Read Scanned Files (OCR)"_s;
}

QString RunController::stoppedMessage(qsizetype done, qsizetype files,
                                      const QList<UnreadableFile> &unreadable)
{
    QString message =
        u"Stopped after "_s + QString::number(done) + u" of "_s + QString::number(files) + u" files."_s;
    if (!unreadable.isEmpty())
        message += u"\r\nThe following files could not be read:"_s + UnreadableReport(unreadable);
    return message;
}

void RunController::PushButton2_Click()
{
    if (RunInProgress()) {
        // Its closing message still open: nothing to stop, and nothing new starts.
        if (!m_run->isFinished() && m_parts.clock.now() - m_startedAt >= kStopGraceMs)
            askToStop();
        return;
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
    auto run = std::make_unique<BatchRun>(m_parts.converter, static_cast<BatchRunHost &>(*this), pdfs);
    run->setAddressRules(m_parts.addressRules());
    if (recognise) {
        run->setRecognition(kScanLanguages);
        run->continueAfter(*m_run);
    }
    m_run = std::move(run);
    m_recognising = recognise;
    m_busy = std::make_unique<BusyPointer>();
    connect(m_run.get(), &BatchRun::progressChanged, &m_parts.progressBar, &CaptionProgressBar::display);
    connect(m_run.get(), &BatchRun::addressesFound, &m_parts.results,
            [this](const QList<FoundAddress> &found) { m_parts.results.append(found); });
    connect(m_run.get(), &BatchRun::finished, this, &RunController::finish, Qt::QueuedConnection);
    m_startedAt = m_parts.clock.now();
    Q_EMIT runningChanged(true);
    m_run->start();
}

void RunController::askToStop()
{
    const QPointer<BatchRun> asked(m_run.get());
    m_askingToStop = true;
    const bool stop = [&] {
        const NormalPointerForDialog pointer;
        return m_parts.modal.askYesNo(AppTitle(), stopQuestion());
    }();
    m_askingToStop = false;
    if (stop && asked && asked == m_run.get())
        m_run->stop();
    if (std::exchange(m_finishWaits, false))
        finish();
}

void RunController::abort()
{
    m_run.reset();
    m_busy.reset();
}

void RunController::finish()
{
    if (m_askingToStop) {
        m_finishWaits = true; // the answer to the question decides the closing message
        return;
    }
    if (!m_run)
        return;
    const QList<UnreadableFile> unreadable = m_run->unreadableFiles();
    const QString summary = m_run->isStopped()
                                ? stoppedMessage(m_run->reportedCount(), m_run->fileCount(), unreadable)
                                : SummaryMessage(unreadable);
    const QStringList scans = m_recognising ? QStringList() : scannedFiles(unreadable);
    m_busy.reset();
    Q_EMIT runningChanged(false);
    // The run object stays until the message is closed, so a press meanwhile starts nothing.
    const QPointer<RunController> alive(this);
    bool recognise = false;
    if (scans.isEmpty())
        m_parts.modal.showMessage(AppTitle(), summary);
    else
        recognise = m_parts.modal.showMessageWithAction(AppTitle(), summary, recognitionAction());
    if (!alive || !m_run)
        return;
    if (recognise)
        startRun(scans, true);
    else
        m_run.reset();
}

PasswordMode RunController::passwordMode()
{
    return m_parts.passwordMode();
}

std::optional<QString> RunController::askPassword(PasswordPrompt prompt, const QString &pdf)
{
    const NormalPointerForDialog pointer;
    return m_parts.modal.inputPassword(PasswordPromptTitle(), PasswordPromptText(prompt, pdf));
}

} // namespace pelmora
