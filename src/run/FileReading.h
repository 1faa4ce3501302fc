#pragma once

#include "cache/FileResult.h"
#include "cache/FileStamp.h"
#include "convert/Conversion.h"
#include "extract/AddressExtraction.h"
#include "extract/ConvertedText.h"
#include "results/ResultsFile.h"
#include "run/PasswordPrompt.h"
#include "run/RunReport.h"
#include "run/RunRequest.h"

#include <QList>
#include <QObject>

#include <memory>
#include <optional>

namespace pelmora {

class Clock;
class ResultsCache;
class SplittableConversion;

// How every file of a run, or a preview's one file, is read.
struct ReadingOptions
{
    ConversionRequest like; // all but the file and the passwords
    bool searched = true;   // false: the pages are only read out (a preview shows the text)
    AddressRules addressRules;
    // Results are taken from here and kept here under `cacheRules` (see CacheRules);
    // none, or empty rules: every file is converted and nothing is kept.
    ResultsCache *cache = nullptr;
    QString cacheRules;
};

// Everything besides the file that shapes what a file gives a reading with `options`;
// empty when the converter cannot tell its part.
QString CacheRules(Converter &converter, const ReadingOptions &options);

// What a stat tells of a file, enough to see that it was written to: nullopt when it cannot
// be had.
struct FileLook
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    static std::optional<FileLook> of(const QString &path);
    friend bool operator==(const FileLook &, const FileLook &) = default;
};

// One file on its way to addresses: taken from the results cache, or converted (its
// pages to come shared out, with setSplitting) and each page judged and searched as
// it arrives (the worker mends recognised text). The file counts its addresses on its own
// until report() makes them the run's; from then on those new to the run go out as
// they are found. A file that cannot be opened without a password waits for its turn
// (takeTurn), which says whether to ask the user.
//
// Its signals come only from the conversion, never from within a call of its own, so a
// caller inspects the state after each call. A receiver may cancel it, but not destroy it.
class FileReading : public QObject
{
    Q_OBJECT
public:
    // `options` and `rules` (the passwords tried and asked for) must outlive the reading.
    FileReading(Converter &converter, const QString &pdf, const ReadingOptions &options, PasswordRules &rules,
                QObject *parent = nullptr);
    ~FileReading() override;
    Q_DISABLE_COPY_MOVE(FileReading)

    // Its pages still to come may be shared out, all within the time limit by `clock`.
    void setSplitting(Clock &clock) { m_splitClock = &clock; }
    // Settles it from the cache, or starts converting it with the passwords every file is
    // tried with (`passwords` replaces those); true when it settled at once.
    bool start(const std::optional<QStringList> &passwords = std::nullopt);
    // Its turn to be asked, after it was refused for want of a password: it is retried,
    // settles, or waits for answer() to the prompt returned.
    std::optional<PasswordPrompt> takeTurn(PasswordMode mode);
    // The user's answer: the password, empty for none.
    void answer(const QString &password);
    // Ends the conversion at once; nothing more is signalled.
    void cancel();

    // Once started, its addresses count in `run`: those new to it go out at once and as
    // they are found. Once only.
    void report(const std::shared_ptr<SeenAddresses> &run);

    bool isConverting() const { return m_state == State::Converting || m_state == State::Opened; }
    // Not open yet, or waiting for a password: a later file's prompt waits for it.
    bool holdsPrompts() const { return m_state == State::Converting || m_state == State::AwaitingAnswer; }
    bool isRefused() const { return m_state == State::Refused; }
    bool isSettled() const { return m_state == State::Settled; }
    ConversionOutcome outcome() const { return m_outcome; }
    bool textUnreadable() const { return m_readability.unreadable(); }
    // The passwords of the conversion under way, or of the last one.
    const QStringList &passwords() const { return m_passwords; }
    // Why it gives no text, once settled; nullopt when its text was searched.
    std::optional<UnreadableFile> unreadable() const;
    // Its recognised addresses whose readings did not agree, handed over once.
    QList<UnsureFinding> takeUnsure() { return std::exchange(m_unsure, {}); }
    // Its attached files that were not read (each named "file.pdf » inside"), once settled.
    QList<UnreadableFile> attachmentsNotRead() const;

    // The conversions of its parts under way, and sharing them out (SplittableConversion).
    int parts() const;
    int pagesToSplit() const;
    bool split();
    int pollCount() const { return m_conversion ? m_conversion->pollCount() : 0; }

Q_SIGNALS:
    void opened();
    void recognising(int page, int pages);
    void polled(int counter);
    // A page's text as searched.
    void pageRead(int page, const QByteArray &text);
    // A text beside the pages' own as searched: a note of a page, a field of the metadata,
    // what an attached file holds, or an attached file not read.
    void sourceRead(const pelmora::SourceText &source);
    // Addresses new to the run it reports to.
    void addressesFound(const QList<pelmora::AddressSource> &addresses);
    // Fewer parts of it convert; the conversion goes on.
    void partsChanged();
    // Its conversion ended: it settled, or it is refused and waits for its turn.
    void conversionEnded();

private:
    enum class State
    {
        Converting,     // not open yet
        Opened,         // its pages arrive
        Refused,        // would not open without a password; its turn to be asked comes
        AwaitingAnswer, // asked for a password
        Settled,
        Cancelled,
    };
    bool takeFromCache();
    void convert(const QStringList &passwords);
    void endConversion();
    void onEvent(const ConversionEvent &event);
    void onPage(const ConversionEvent &page);
    void onSource(const SourceText &source);
    // `shown`: the addresses a page's text shows, that a note shown on it does not count again.
    void onText(int page, const QByteArray &text, FoundVia via, const QString &inside = {},
                const SeenAddresses *shown = nullptr);
    void onNotes(int page, const QByteArray &pageText, const QList<SourceText> &notes, const QString &inside);
    void onFinished(const ConversionEvent &end);
    void keepResult(const ConversionEvent &end);
    void forgetResult();
    FileResult result() const;
    void emitFound(const QList<FileAddress> &found);

    Converter &m_converter;
    Clock *m_splitClock = nullptr;
    QString m_pdf;
    const ReadingOptions &m_options;
    PasswordRules &m_rules;
    std::unique_ptr<Conversion> m_conversion;
    SplittableConversion *m_splittable = nullptr; // m_conversion, when split
    State m_state = State::Converting;
    QStringList m_passwords;
    bool m_passwordHandled = false;
    PasswordPrompt m_prompt = PasswordPrompt::ForFile;
    ConversionOutcome m_outcome = ConversionOutcome::Text;
    QString m_detail;
    TextReadability m_readability;
    // Set while its result may be kept: the file as it was before it was converted.
    std::optional<FileStamp> m_stamp;
    // The file's size and times as its conversion began, and whether they changed by its end.
    std::optional<FileLook> m_lookBefore;
    bool m_changed = false;
    // "page 3: why", for the first page not read whole; empty while every page was.
    QString m_incomplete;
    // Its own tally and first sightings, each address once with its first spelling: until
    // it is reported, and while its result may be kept. The first `listed` of them are
    // in the run's tally already.
    SeenAddresses m_seen;
    QList<FileAddress> m_addresses;
    qsizetype m_listed = 0;
    std::shared_ptr<SeenAddresses> m_run; // once reported
    QList<UnsureFinding> m_unsure;
    QList<AttachmentNotRead> m_notRead;
    // The text of the last page of an attached PDF, and where it is, for its notes.
    QString m_sourcePageInside;
    int m_sourcePage = 0;
    QByteArray m_sourcePageText;
};

// Why a conversion gave no text, as the closing message says it.
UnreadableReason ReasonFor(ConversionOutcome outcome, bool passwordGiven);

// The addresses a mailto: link target points to: the part after "mailto:" and before
// any "?", percent-decoded; empty for any other target.
QByteArray MailtoAddresses(QByteArrayView target);

} // namespace pelmora
