#pragma once

#include "convert/ConverterCommand.h"

#include <QObject>
#include <QProcess>

#include <memory>

namespace pelmora {

class Clock;
class ConverterWorkspace;
class Ticker;

// One PDF converted by the external converter into a text file of the program's own.
// It never blocks: `finished` is signalled once the converter has ended. The text file
// belongs to the job and is removed with it, and a converter still running when the
// job is destroyed is ended, so closing the program mid-way leaves nothing behind.
class ConversionJob : public QObject
{
    Q_OBJECT
public:
    ConversionJob(ConverterWorkspace &workspace, Clock &clock, ConversionKind kind, const QString &pdf,
                  const QString &password, QObject *parent = nullptr);
    ~ConversionJob() override;
    Q_DISABLE_COPY_MOVE(ConversionJob)

    // A converter running longer than this is ended and counts as writing nothing;
    // 0 (the default) waits for as long as it takes.
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

    void start();
    bool isRunning() const { return m_running; }
    QString pdf() const { return m_pdf; }
    QString password() const { return m_password; }

    // Valid once finished. A converter that crashed or was ended wrote nothing, and
    // an input that is not a regular file (a pipe, a device, a folder) is not converted.
    bool hasOutput() const;
    QString outputPath() const { return m_outputPath; }
    bool timedOut() const { return m_timedOut; }
    int pollCount() const { return m_polls; }

Q_SIGNALS:
    // Every 100 ms of the clock while the converter runs; `counter` starts again at each attempt.
    void polled(int counter);
    void finished();

private:
    void startAttempt(const QString &password);
    void attemptEnded();
    void poll();
    void endProcess();

    ConverterWorkspace &m_workspace;
    Clock &m_clock;
    ConversionKind m_kind;
    QString m_pdf;
    QString m_password;
    QString m_outputPath;
    QProcess m_process;
    std::unique_ptr<Ticker> m_poller;
    int m_polls = 0;
    int m_timeoutMs = 0;
    bool m_running = false;
    bool m_retried = false;
    bool m_timedOut = false;
};

} // namespace pelmora
