#pragma once

#include "convert/Conversion.h"
#include "extract/AddressExtraction.h"
#include "extract/ConvertedText.h"
#include "results/ResultsFile.h"
#include "run/PasswordPrompt.h"
#include "run/RunReport.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace pelmora {

// What a run needs from whoever started it: the password options, read again whenever
// a file needs a password, and the password prompt.
class BatchRunHost
{
public:
    virtual ~BatchRunHost() = default;
    virtual PasswordMode passwordMode() = 0;
    // The typed password; empty for no password or a cancelled prompt; nullopt when the
    // user chose to stop the run. It may run a nested event loop: conversions already
    // started go on meanwhile.
    virtual std::optional<QString> askPassword(PasswordPrompt prompt, const QString &pdf) = 0;
};

// An address of a run: where it was first met, and how often the run has met it so far
// (in any letter case).
struct FoundAddress
{
    QString address;
    QString file; // the listed path
    int page = 0; // 1-based
    std::shared_ptr<const SeenAddresses> tally;
    FoundVia via = FoundVia::Text;
    int count() const { return tally ? tally->count(address.toLatin1()) : 0; }
};

// The addresses as the results files take them, each with its count so far.
QList<AddressSource> AddressSources(const QList<FoundAddress> &found);

// One press of "Start Extracting" over a fixed list of PDFs. Up to `parallelJobs`
// files convert at once; each page is judged and searched as it arrives, and the
// outcome is reported strictly in list order: the addresses in order of row, page,
// line and position with the first spelling kept, and the unreadable files in row
// order, exactly as if every file were converted, then searched, one after the other.
// Only files that finish ahead of an earlier one wait with their addresses.
//
// A password is asked for only when a file cannot be opened without one, in row order:
// per file, or once for all files (that answer is then tried on every later file).
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
    // Passwords tried on every protected file, in order, after any typed one.
    void setPasswords(const QStringList &passwords) { m_passwords = passwords; }
    // Pages without text of their own are recognised (OCR) in these languages
    // (tesseract's codes joined with "+"); none: they stay unread.
    void setRecognition(const QString &languages) { m_languages = languages; }
    // The addresses of the mailto: links of each page count too, after that page's text.
    void setLinks(bool links) { m_links = links; }
    // What counts as an address; with Disguised, a page's disguised addresses follow its
    // plain ones.
    void setAddressRules(const AddressRules &rules) { m_rules = rules; }
    // Goes on where an earlier run over other files ended: its addresses count as
    // listed, and every password it knew is tried.
    void continueAfter(BatchRun &earlier);

    void start();
    // Ends every conversion at once; nothing more is signalled.
    void abort();
    // Ends every conversion at once and finishes: what is listed stays listed.
    void stop();
    bool isFinished() const { return m_finished; }
    bool isStopped() const { return m_stopped; }
    qsizetype fileCount() const { return static_cast<qsizetype>(m_rows.size()); }
    // The files whose outcome is reported, from the first on.
    qsizetype reportedCount() const { return m_nextToReport; }

    // The files that could not be read, in row order.
    const QList<UnreadableFile> &unreadableFiles() const { return m_unreadable; }

Q_SIGNALS:
    void progressChanged(int value, const QString &caption);
    void addressesFound(const QList<FoundAddress> &addresses);
    void finished();

private:
    struct Sighting
    {
        QString address;
        int page;
        FoundVia via;
    };
    struct Row
    {
        QString pdf;
        QString progressText;
        int progressValue = 0;
        QStringList passwords; // of the conversion under way, or the last one
        bool prompted = false;
        bool waitsForPassword = false;
        bool opened = false;
        int recognisedPage = 0; // the page being recognised, whose text comes next
        std::unique_ptr<Conversion> conversion;
        TextReadability readability;
        SeenAddresses seen;        // this file's own
        QList<Sighting> addresses; // each once, first spelling and page in the file
        std::optional<ConversionOutcome> outcome;
    };

    Row &row(qsizetype index) { return m_rows[static_cast<std::size_t>(index)]; }
    const Row &row(qsizetype index) const { return m_rows[static_cast<std::size_t>(index)]; }
    void fill();
    void startRow(qsizetype index);
    void convert(qsizetype index, const QStringList &passwords);
    QStringList passwordsToTry() const;
    void askForPasswords();
    bool answerWaitingRow(qsizetype index);
    void onPolled(qsizetype index, int counter);
    void onRecognising(qsizetype index, int page, int pages);
    void onText(qsizetype index, int page, const QByteArray &text, FoundVia via);
    void onConverted(qsizetype index, ConversionOutcome outcome);
    void settle(qsizetype index, ConversionOutcome outcome);
    void reportReadyRows();
    void reportAddresses(Row &row);
    void emitFresh(const QList<Sighting> &fresh, const QString &file);
    qsizetype oldestRunning() const;
    void showProgress(int value, const QString &caption);
    void endConversions();

    Converter &m_converter;
    BatchRunHost &m_host;
    std::vector<Row> m_rows;
    std::shared_ptr<SeenAddresses> m_seen;
    QList<UnreadableFile> m_unreadable;
    QStringList m_passwords;
    std::optional<QString> m_sharedPassword; // the answer for all files, once asked
    QString m_languages;
    bool m_links = false;
    AddressRules m_rules;
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
    bool m_stopped = false;
    bool m_finished = false;
};

// Why a conversion gave no text, as the closing message says it.
UnreadableReason ReasonFor(ConversionOutcome outcome, bool passwordGiven);

// The addresses a mailto: link target points to: the part after "mailto:" and before
// any "?", percent-decoded; empty for any other target.
QByteArray MailtoAddresses(QByteArrayView target);

} // namespace pelmora
