#include "app/RunController.h"

#include "app/AppTitle.h"
#include "app/BusyPointer.h"
#include "app/CaptionProgressBar.h"
#include "app/Modal.h"
#include "app/TextListModel.h"

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

RunController::RunController(const Parts &parts, QObject *parent) : QObject(parent), m_parts(parts)
{
}

RunController::~RunController()
{
    abort();
}

void RunController::PushButton2_Click()
{
    if (RunInProgress())
        return;
    const QStringList pdfs = m_parts.files.texts();
    if (pdfs.isEmpty()) {
        m_parts.modal.showMessage(AppTitle(), u"No files added."_s);
        return;
    }
    m_busy = std::make_unique<BusyPointer>();
    BatchRunHost &host = *this;
    m_run = std::make_unique<BatchRun>(m_parts.converter, host, pdfs);
    connect(m_run.get(), &BatchRun::progressChanged, &m_parts.progressBar, &CaptionProgressBar::display);
    connect(m_run.get(), &BatchRun::addressesFound, &m_parts.results, &TextListModel::append);
    connect(m_run.get(), &BatchRun::finished, this, &RunController::finish, Qt::QueuedConnection);
    m_run->start();
}

void RunController::abort()
{
    m_run.reset();
    m_busy.reset();
}

void RunController::finish()
{
    const QString summary = SummaryMessage(m_run->unreadableFiles());
    m_busy.reset();
    m_parts.modal.showMessage(AppTitle(), summary);
    // The run object stays until the summary is closed, so a second press meanwhile does nothing.
    m_run.reset();
    Q_EMIT runFinished();
}

PasswordMode RunController::passwordMode()
{
    return m_parts.passwordMode();
}

QString RunController::askPassword(PasswordPrompt prompt, const QString &pdf)
{
    const NormalPointerForDialog pointer;
    return m_parts.modal.inputText(PasswordPromptTitle(), PasswordPromptText(prompt, pdf));
}

} // namespace pelmora
