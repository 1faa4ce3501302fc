#pragma once

#include "extract/AddressExtraction.h"
#include "run/PasswordPrompt.h"
#include "run/RunReport.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <optional>

namespace pelmora {

class Clock;
class ConversionJob;
class ConverterWorkspace;

// What a run needs from whoever started it: the password options, read again for
// every file, and the password prompt.
class BatchRunHost
{
public:
    virtual ~BatchRunHost() = default;
    virtual PasswordMode passwordMode() = 0;
    // The typed password; empty for no password or a cancelled prompt. It may run a
    // nested event loop: conversions already started go on meanwhile.
    virtual QString askPassword(PasswordPrompt prompt, const QString &pdf) = 0;
};

// One press of "Start Extracting" over a fixed list of PDFs. Up to `parallelJobs`
// converters run at once; each converted text is judged, searched and deleted as soon
// as it is ready, and the outcome is reported strictly in list order: the addresses in
// order of row, line and position with the first spelling kept, and the unreadable
// files in row order, exactly as if every file were converted, then searched, one
// after the other.
class BatchRun : public QObject
{
    Q_OBJECT
public:
    BatchRun(ConverterWorkspace &workspace, Clock &clock, BatchRunHost &host, const QStringList &pdfs,
             QObject *parent = nullptr);
    ~BatchRun() override;
    Q_DISABLE_COPY_MOVE(BatchRun)

    void setParallelJobs(int jobs);
    // 0: no limit on how long one conversion may take.
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

    void start();
    // Ends every running converter at once; nothing more is signalled.
    void abort();
    bool isFinished() const { return m_finished; }

    // The files that could not be read, in row order.
    const QList<UnreadableFile> &unreadableFiles() const { return m_unreadable; }

Q_SIGNALS:
    void progressChanged(int value, const QString &caption);
    void addressesFound(const QStringList &addresses);
    void finished();

public:
    // What the converted text of one file gave.
    struct TextScan
    {
        bool unreadable = false;
        QStringList addresses; // each once, first spelling in the file
    };

private:
    struct Row
    {
        QString pdf;
        QString progressText;
        int progressValue = 0;
        bool passwordGiven = false;
        bool timedOut = false;
        QPointer<ConversionJob> job;
        bool hasText = false;
        std::optional<TextScan> scan;
    };

    void fill();
    void startRow(qsizetype index);
    std::optional<QString> choosePassword(qsizetype index);
    void onPolled(qsizetype index, int counter);
    void onConverted(qsizetype index);
    void onScanned(qsizetype index, const TextScan &scan);
    void reportReadyRows();
    void reportRow(Row &row);
    qsizetype oldestRunning() const;
    void showProgress(int value, const QString &caption);

    ConverterWorkspace &m_workspace;
    Clock &m_clock;
    BatchRunHost &m_host;
    QList<Row> m_rows;
    SeenAddresses m_seen;
    QList<UnreadableFile> m_unreadable;
    QString m_password;
    QString m_restingText;
    QString m_caption;
    int m_value = 0;
    int m_parallelJobs = 1;
    int m_timeoutMs = 0;
    int m_running = 0;
    int m_searching = 0; // converted texts on disk waiting for their search
    qsizetype m_nextToStart = 0;
    qsizetype m_nextToReport = 0;
    bool m_prompting = false;
    bool m_aborted = false;
    bool m_finished = false;
};

// Judges and searches one converted text file.
BatchRun::TextScan ScanConvertedText(const QString &path);

} // namespace pelmora
