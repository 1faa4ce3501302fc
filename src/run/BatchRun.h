#pragma once

#include "convert/Conversion.h"
#include "extract/AddressExtraction.h"
#include "extract/ConvertedText.h"
#include "run/PasswordPrompt.h"
#include "run/RunReport.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace pelmora {

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
// files convert at once; each page is judged and searched as it arrives, and the
// outcome is reported strictly in list order: the addresses in order of row, page,
// line and position with the first spelling kept, and the unreadable files in row
// order, exactly as if every file were converted, then searched, one after the other.
// Only files that finish ahead of an earlier one wait with their addresses.
class BatchRun : public QObject
{
    Q_OBJECT
public:
    BatchRun(Converter &converter, BatchRunHost &host, const QStringList &pdfs, QObject *parent = nullptr);
    ~BatchRun() override;
    Q_DISABLE_COPY_MOVE(BatchRun)

    void setParallelJobs(int jobs);
    // 0: no limit on how long one conversion may take.
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }
    // Passwords tried on every protected file, in order, before any typed one.
    void setPasswords(const QStringList &passwords) { m_passwords = passwords; }

    void start();
    // Ends every conversion at once; nothing more is signalled.
    void abort();
    bool isFinished() const { return m_finished; }

    // The files that could not be read, in row order.
    const QList<UnreadableFile> &unreadableFiles() const { return m_unreadable; }

Q_SIGNALS:
    void progressChanged(int value, const QString &caption);
    void addressesFound(const QStringList &addresses);
    void finished();

private:
    struct Row
    {
        QString pdf;
        QString progressText;
        int progressValue = 0;
        bool passwordGiven = false;
        std::unique_ptr<Conversion> conversion;
        TextReadability readability;
        SeenAddresses seen;    // this file's own
        QStringList addresses; // each once, first spelling in the file
        std::optional<ConversionOutcome> outcome;
    };

    void fill();
    void startRow(qsizetype index);
    std::optional<QString> choosePassword(qsizetype index);
    void onPolled(qsizetype index, int counter);
    void onPage(qsizetype index, const QByteArray &text);
    void onConverted(qsizetype index, ConversionOutcome outcome);
    void reportReadyRows();
    void reportAddresses(Row &row);
    qsizetype oldestRunning() const;
    void showProgress(int value, const QString &caption);

    Converter &m_converter;
    BatchRunHost &m_host;
    std::vector<Row> m_rows;
    SeenAddresses m_seen;
    QList<UnreadableFile> m_unreadable;
    QStringList m_passwords;
    QString m_password;
    QString m_restingText;
    QString m_caption;
    int m_value = 0;
    int m_parallelJobs = 1;
    int m_timeoutMs = 0;
    int m_running = 0;
    qsizetype m_nextToStart = 0;
    qsizetype m_nextToReport = 0;
    bool m_prompting = false;
    bool m_aborted = false;
    bool m_finished = false;
};

// Why a conversion gave no text, as the closing message says it.
UnreadableReason ReasonFor(ConversionOutcome outcome, bool passwordGiven);

} // namespace pelmora
