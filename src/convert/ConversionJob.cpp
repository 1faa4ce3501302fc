#include "convert/ConversionJob.h"

#include "convert/ConverterWorkspace.h"
#include "core/Clock.h"
#include "core/FileHelpers.h"

#include <QFileInfo>

#include <csignal>
#include <unistd.h>

namespace pelmora {

namespace {
constexpr int kPollIntervalMs = 100;
}

ConversionJob::ConversionJob(ConverterWorkspace &workspace, Clock &clock, ConversionKind kind,
                             const QString &pdf, const QString &password, QObject *parent)
    : QObject(parent), m_workspace(workspace), m_clock(clock), m_kind(kind), m_pdf(pdf), m_password(password),
      m_outputPath(workspace.newOutputPath())
{
    // The converter's own messages are of no use to the user; keep them out of memory.
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.setProgram(workspace.ConverterPath());
    // Its own process group, so that ending it also ends whatever it started.
    m_process.setChildProcessModifier([] { ::setpgid(0, 0); });
    connect(&m_process, &QProcess::finished, this, &ConversionJob::attemptEnded);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            attemptEnded();
    });
}

ConversionJob::~ConversionJob()
{
    m_poller.reset();
    m_process.disconnect(this);
    endProcess();
    DeleteFileQuietly(m_outputPath);
}

void ConversionJob::start()
{
    m_running = true;
    m_workspace.restoreConverter();
    startAttempt(m_password);
}

bool ConversionJob::hasOutput() const
{
    return !m_outputPath.isEmpty() && QFileInfo::exists(m_outputPath);
}

void ConversionJob::startAttempt(const QString &password)
{
    m_polls = 0;
    if (m_outputPath.isEmpty()) {
        // No usable work folder: convert nothing, the file reads as unreadable.
        QMetaObject::invokeMethod(this, &ConversionJob::attemptEnded, Qt::QueuedConnection);
        return;
    }
    const QFileInfo input(m_pdf);
    if (input.exists() && !input.isFile()) {
        // A named pipe or a device would keep the converter reading for ever.
        QMetaObject::invokeMethod(this, &ConversionJob::attemptEnded, Qt::QueuedConnection);
        return;
    }
    DeleteFileQuietly(m_outputPath);
    m_process.setArguments(ConverterArguments(m_kind, password, m_pdf, m_outputPath));
    m_poller = m_clock.every(kPollIntervalMs, [this] { poll(); });
    m_process.start(QIODevice::NotOpen);
}

void ConversionJob::poll()
{
    ++m_polls;
    if (m_timeoutMs > 0 && m_polls * kPollIntervalMs >= m_timeoutMs && !m_timedOut) {
        // The end of the killed converter arrives as an ordinary finish.
        m_timedOut = true;
        endProcess();
        return;
    }
    Q_EMIT polled(m_polls);
}

void ConversionJob::attemptEnded()
{
    if (!m_running)
        return;
    m_poller.reset();
    // Whatever a killed or crashed converter left is incomplete: a word cut short can
    // look like an address that the file does not hold.
    const bool crashed = m_process.exitStatus() == QProcess::CrashExit;
    if (m_timedOut || crashed)
        DeleteFileQuietly(m_outputPath);
    // A file restricted only by an owner password refuses a wrong password yet opens
    // without one; try once more so it is not reported as unreadable.
    if (!m_timedOut && !crashed && !m_retried && !m_password.isEmpty() && !hasOutput()) {
        m_retried = true;
        startAttempt(QString());
        return;
    }
    m_running = false;
    // Signalled from the event loop, not from inside QProcess, so a receiver may destroy the job.
    QMetaObject::invokeMethod(this, &ConversionJob::finished, Qt::QueuedConnection);
}

void ConversionJob::endProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    if (const qint64 pid = m_process.processId(); pid > 0)
        ::kill(-static_cast<pid_t>(pid), SIGKILL);
    m_process.kill();
    m_process.waitForFinished(3000);
}

} // namespace pelmora
