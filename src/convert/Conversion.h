#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace pelmora {

class Clock;
class Ticker;

// What one conversion is asked to do.
struct ConversionRequest
{
    QString pdf;
    QStringList passwords;  // tried in order, then no password
    int firstPage = 0;      // 0: from the first page
    int lastPage = 0;       // 0: to the last page
    bool recognise = false; // read pages without text of their own (OCR)
    QString languages;      // OCR languages, tesseract's codes joined with "+"
    bool links = false;     // report the mailto: links of each page
    int timeoutMs = 0;      // 0: for as long as it takes
};

// How a conversion ended.
enum class ConversionOutcome
{
    Text,          // its pages were delivered
    NeedsPassword, // encrypted, and no password was given
    WrongPassword, // encrypted, and none of the passwords opened it
    Damaged,       // it could not be opened: not a PDF, cut short, empty, missing, not a
                   // regular file, or the converter died on it
    TimedOut,      // ended after the time allowed
};

// One PDF on its way to text. It never blocks: pages arrive in order from the event
// loop, then `finished`, once. Destroying it ends the work at once and leaves nothing
// running and nothing on disk.
class Conversion : public QObject
{
    Q_OBJECT
public:
    ~Conversion() override;
    Q_DISABLE_COPY_MOVE(Conversion)

    void start();
    const ConversionRequest &request() const { return m_request; }
    bool isRunning() const { return m_running; }
    // The polls so far; see `polled`.
    int pollCount() const { return m_polls; }

Q_SIGNALS:
    // Every 100 ms of the clock while the conversion runs; `counter` is 1 at the first.
    void polled(int counter);
    // The file opened (with a password, when it needed one); its pages follow.
    void opened();
    // Page `page` has no text of its own and is being recognised; `pages` in all.
    void recognising(int page, int pages);
    // A page's whole text, its closing form feed included.
    void pageConverted(int page, const QByteArray &text);
    // A mailto: link of the page, as the PDF writes it; after that page's text.
    void linkFound(int page, const QByteArray &target);
    // From the event loop, so a receiver may destroy the conversion.
    void finished(ConversionOutcome outcome);

protected:
    Conversion(Clock &clock, ConversionRequest request, QObject *parent);

    // Starts the work; it ends with finish().
    virtual void begin() = 0;
    // Ends the work at once, before its time; nothing more comes from it.
    virtual void abandon() = 0;
    void finish(ConversionOutcome outcome);

private:
    void poll();

    Clock &m_clock;
    ConversionRequest m_request;
    std::unique_ptr<Ticker> m_poller;
    int m_polls = 0;
    bool m_running = false;
};

// Turns PDFs into text, one Conversion each.
class Converter
{
public:
    virtual ~Converter() = default;
    // Not started yet: connect first, then start().
    virtual std::unique_ptr<Conversion> convert(const ConversionRequest &request) = 0;
};

} // namespace pelmora
