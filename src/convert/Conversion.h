#pragma once

#include "protocol/WorkerProtocol.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace pelmora {

class Clock;
class Ticker;

// What one conversion is asked to do.
struct ConversionRequest
{
    QString pdf;
    QStringList passwords;    // tried in order, then no password
    int firstPage = 0;        // 0: from the first page
    int lastPage = 0;         // 0: to the last page
    bool recognise = false;   // read pages without text of their own (OCR)
    QString languages;        // OCR languages, tesseract's codes joined with "+"
    bool links = false;       // report the mailto: links of each page
    bool notes = false;       // the notes and form values of each page
    bool metadata = false;    // the document's metadata, after the last page
    bool attachments = false; // what its attached files hold, after the last page
    QString addressRules;     // by which recognition reads addresses (AddressRules::toLine)
    // The longest the file may take to open, and then each page to come after the one
    // before it (a page being recognised counts from the start of its recognition);
    // 0: for as long as it takes.
    int timeoutMs = 0;
};

// How a conversion ended.
enum class ConversionOutcome
{
    Text,          // its pages were delivered
    NeedsPassword, // encrypted, and no password was given
    WrongPassword, // encrypted, and none of the passwords opened it
    Damaged,       // it could not be opened: not a PDF, cut short, empty, missing, not a
                   // regular file, or the converter died on it
    TimedOut,      // ended after the time allowed; the detail says for what
    Failed,        // the converter could not do what was asked (a recognition model is
                   // missing, an internal error); the event's detail says what
};

// A recognised address whose readings did not agree: it is not in its page's text.
struct UnsureAddress
{
    QByteArray address;
    QList<QByteArray> alternatives; // what single readings made of it
};

// A text beside the pages' own, as a conversion delivers it: a note or form value of a
// page, a field of the document's metadata, what an attached file holds; or an attached
// file that was not read.
struct SourceText
{
    protocol::SourceKind kind = protocol::SourceKind::Text;
    bool shown = false; // a note whose own appearance shows it on its page
    QString inside;     // the names of the attached files it is in, " » " between them; empty
                        // for the file's own
    int page = 0;       // of the file, or of the attached PDF it is in; 0 for none
    QString name;       // of a metadata field
    QByteArray text;    // UTF-8
    QString notRead;    // of an attached file not read: why (then it has no text)
};

// One step of a conversion, in order: the file opened (its pages follow), a page is
// being recognised, a page whole, a text beyond the pages (after the last one), and
// last, once, the end.
struct ConversionEvent
{
    enum class Kind
    {
        Opened,
        Recognising,
        Page,
        Source,
        Finished,
    };
    Kind kind = Kind::Finished;
    int page = 0; // Recognising, Page
    // Opened: the pages that follow (0 when the converter cannot tell, as pdftotext);
    // Recognising: the pages in the range
    int pages = 0;
    QByteArray text = {};             // Page: its text, closing form feed included
    QList<QByteArray> links = {};     // Page: its mailto: targets, as the PDF writes them
    bool recognised = false;          // Page: read by text recognition (OCR)
    QList<UnsureAddress> unsure = {}; // Page, when recognised
    QString incomplete = {}; // Page: why it was not read whole, in the converter's words; empty when it was
    QList<SourceText> notes = {};                        // Page: its notes and form values, when asked
    SourceText source = {};                              // Source
    ConversionOutcome outcome = ConversionOutcome::Text; // Finished
    // Finished: the converter's words on a failure; for a converter that died (Damaged, not
    // judged), what it said last
    QString detail = {};
    // Finished: the outcome is the converter's verdict on the file; false when the
    // converter died, broke the stream or ran out of time, which says nothing of the file
    bool judged = false;
};

// One PDF on its way to text. It never blocks: events arrive in order from the event
// loop. Destroying it cancels it.
class Conversion : public QObject
{
    Q_OBJECT
public:
    ~Conversion() override;
    Q_DISABLE_COPY_MOVE(Conversion)

    void start();
    // Ends the work at once, leaving nothing running and nothing on disk; nothing more is
    // signalled but what is already queued. Safe from within its own signals.
    void cancel();
    const ConversionRequest &request() const { return m_request; }
    bool isRunning() const { return m_running; }
    // Asks it to end after `lastPage`, or after the page under way if that is later: its
    // later pages are left to another conversion. False when it cannot be told so, and
    // only cancelling it stops it.
    virtual bool stopAfter(int lastPage);
    // The milliseconds left before it times out; nullopt when it has no time limit.
    std::optional<qint64> timeLeft() const;
    // What it waits for, as the detail of a time-out says it ("page 3 did not come...").
    QString awaited() const;
    // The polls so far; see `polled`.
    int pollCount() const { return m_polls; }

Q_SIGNALS:
    // Every 100 ms of the clock while the conversion runs; `counter` is 1 at the first.
    void polled(int counter);
    // The Finished event comes from the event loop, so a receiver may destroy the conversion.
    void progressed(const pelmora::ConversionEvent &event);

protected:
    Conversion(Clock &clock, ConversionRequest request, QObject *parent);

    // Starts the work; it ends with finish().
    virtual void begin() = 0;
    // Ends the work at once, before its time; nothing more comes from it.
    virtual void abandon() = 0;
    // The converter's next step, as a worker tells it. False when it does not fit the
    // steps before it: the stream is broken, and the caller ends the conversion.
    [[nodiscard]] bool take(const protocol::PageEvent &event);
    // `judged`: see ConversionEvent::judged.
    void finish(ConversionOutcome outcome, const QString &detail = {}, bool judged = false);

private:
    void poll();
    void onStep(const ConversionEvent &event);

    Clock &m_clock;
    ConversionRequest m_request;
    std::unique_ptr<Ticker> m_poller;
    // The time of the last step (the start, the opening, a page, a recognition begun), and
    // what came with it: the deadline counts from there.
    qint64 m_stepAt = 0;
    ConversionEvent::Kind m_lastStep = ConversionEvent::Kind::Finished;
    int m_lastPage = 0;
    int m_polls = 0;
    bool m_running = false;
    // The answer's outcome and its detail, once the file opened or failed to.
    std::optional<protocol::Outcome> m_opened;
    QString m_detail;
    int m_recognisedPage = 0;
    QByteArray m_page;
    QList<QByteArray> m_links;
    QList<UnsureAddress> m_unsure;
    QString m_incomplete;
    QList<SourceText> m_notes;
    int m_pages = 0;      // that follow, as the opening said
    QString m_lastInside; // of the last text beyond the pages
};

// Cancels `conversion` and lets it go once any signal of it under way is delivered, so
// that it may be ended from within its own signals; `receiver` hears nothing more of it.
void EndConversion(std::unique_ptr<Conversion> &conversion, const QObject *receiver);

// Turns PDFs into text, one Conversion each.
class Converter
{
public:
    virtual ~Converter() = default;
    // Not started yet: connect first, then start().
    virtual std::unique_ptr<Conversion> convert(const ConversionRequest &request) = 0;
    // Everything of the converter that shapes the text of conversions asked like `like`
    // (its engine and the engine's version, the recognition and its data), as one text
    // that changes whenever the text may; empty when it cannot tell, and then nothing
    // it converts is kept for later runs. The file, the pages and the passwords of
    // `like` do not matter.
    virtual QString identity(const ConversionRequest &like)
    {
        Q_UNUSED(like);
        return {};
    }
};

} // namespace pelmora
