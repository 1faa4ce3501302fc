#pragma once

#include "run/FileReading.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace pelmora {

class ResultsCache;

// One press of "Start Extracting" over a fixed list of PDFs. Up to `parallelJobs`
// files convert at once; each page is judged and searched as it arrives, and the
// outcome is reported strictly in list order: the addresses in order of row, page,
// line and position with the first spelling kept, and the unreadable files in row
// order, exactly as if every file were converted, then searched, one after the other.
// Only files that finish ahead of an earlier one wait with their addresses. When no
// file waits for a worker that is free, the pages still to come of the largest file
// are shared out (SplittableConversion), which changes nothing of the outcome.
//
// With a results cache, a file that an earlier run read under the same rules is not
// converted: its result is taken as it was kept, which gives the same outcome. The
// result of a file converted to its end is kept, unless a password was tried on it,
// it timed out or its converter died, or it changed meanwhile.
//
// The run does what its request asks (RunRequest): its files, passwords, rules, reading
// and cache. Its own problems (a cache it could not use, a list of known domains it could
// not read, what the request could not honour) are gathered in problems().
//
// A password is asked for only when a file cannot be opened without one, in row order
// (see PasswordRules): the run signals passwordNeeded and waits, starting nothing new,
// until answer() is called for that row. passwordNeeded and finished are the last thing
// the run does in a step, so their receivers may answer, stop or destroy it at once; the
// receivers of the other signals may stop it, but not destroy it.
class BatchRun : public QObject
{
    Q_OBJECT
public:
    // `converter` is the one of `request.engine`.
    BatchRun(Converter &converter, Clock &clock, const RunRequest &request, QObject *parent = nullptr);
    ~BatchRun() override;
    Q_DISABLE_COPY_MOVE(BatchRun)

    // The password options, read again whenever a file needs a password; none by default.
    void setPasswordMode(std::function<PasswordMode()> mode) { m_passwordMode = std::move(mode); }
    // Goes on where an earlier run over other files ended: its addresses count as
    // listed, and every password it knew is tried.
    void continueAfter(const BatchRun &earlier);
    // The results cache of the request's folder; none by default. The cache must outlive
    // the run, which writes what waits in it when it finishes. One that could not be used
    // is among problems(); with `lastingOnly`, only when a new cache would meet the problem
    // too (not a damaged one moved aside), as for a window that makes a new one then.
    void setResultsCache(ResultsCache *cache, bool lastingOnly = false)
    {
        m_options.cache = cache;
        m_lastingCacheProblemsOnly = lastingOnly;
    }

    void start();
    // The user's answer to passwordNeeded for `row`: the password, empty for none, nullopt
    // to stop the run.
    void answer(qsizetype row, const std::optional<QString> &password);
    // Ends every conversion at once; nothing more is signalled.
    void abort();
    // Ends every conversion at once and finishes: what is listed stays listed.
    void stop();
    bool isFinished() const { return m_state == State::Finished || m_state == State::Stopped; }
    bool isStopped() const { return m_state == State::Stopped; }
    qsizetype fileCount() const { return static_cast<qsizetype>(m_rows.size()); }
    QString pdf(qsizetype index) const { return m_rows[static_cast<std::size_t>(index)].pdf; }
    // The files whose outcome is reported, from the first on.
    qsizetype reportedCount() const { return m_nextToReport; }

    // The files that could not be read, in row order.
    const QList<UnreadableFile> &unreadableFiles() const { return m_unreadable; }
    // The run's own problems, a line each, begun as a sentence; complete once it finished.
    const QStringList &problems() const { return m_problems; }
    // The recognised addresses left out as unsure, in row and page order, each once: those
    // that no text of this run (or of the runs it goes on from) held, nor any reading of them.
    QList<UnsureFinding> unsureFindings() const;

Q_SIGNALS:
    void progressChanged(int value, const QString &caption);
    void addressesFound(const QList<pelmora::AddressSource> &addresses);
    // `row` cannot be opened without a password; the run waits for answer().
    void passwordNeeded(qsizetype row, pelmora::PasswordPrompt prompt);
    void finished();

private:
    enum class State
    {
        Idle,
        Running,
        Finished,
        Stopped,
        Aborted,
    };
    // A listed file: queued before m_nextToStart, reported before m_nextToReport.
    struct Row
    {
        QString pdf;
        QString progressText;
        int progressValue = 0;
        std::unique_ptr<FileReading> reading; // from its start until it is reported and settled
        int workers = 0;                      // the conversions of its parts, as counted in m_running
    };

    Row &row(qsizetype index) { return m_rows[static_cast<std::size_t>(index)]; }
    FileReading *reading(qsizetype index) const
    {
        return m_rows[static_cast<std::size_t>(index)].reading.get();
    }
    PasswordMode passwordMode() const { return m_passwordMode ? m_passwordMode() : PasswordMode::None; }
    void advance();
    bool askNextRefused();
    qsizetype nextRefusedRow() const;
    bool startRows(int &fromCache);
    bool startRow(qsizetype index);
    void shareIdleWorkers();
    void countWorkers(qsizetype index);
    void onPolled(qsizetype index, int counter);
    void onRecognising(qsizetype index, int page, int pages);
    void onConversionEnded(qsizetype index);
    void reportSettledRows();
    qsizetype oldestRunning() const;
    void showProgress(int value, const QString &caption);
    void endConversions();
    void end(State how);

    Converter &m_converter;
    Clock &m_clock;
    std::vector<Row> m_rows;
    std::function<PasswordMode()> m_passwordMode;
    std::shared_ptr<SeenAddresses> m_seen;
    QList<UnreadableFile> m_unreadable;
    QStringList m_problems;
    // The unsure findings of the files reported, of this run and the ones before it.
    std::shared_ptr<QList<UnsureFinding>> m_unsure;
    PasswordRules m_rules;
    ReadingOptions m_options;
    QString m_restingText;
    QString m_caption;
    int m_value = 0;
    int m_parallelJobs = 1;
    bool m_lastingCacheProblemsOnly = false;
    int m_running = 0; // conversions under way, parts of files included
    bool m_stepQueued = false;
    // The row whose password is asked for, -1 for none: nothing new starts meanwhile.
    // Kept rather than looked for, as settled rows may pile up behind a long file.
    qsizetype m_asking = -1;
    qsizetype m_nextToStart = 0;
    qsizetype m_nextToReport = 0;
    State m_state = State::Idle;
};

} // namespace pelmora
