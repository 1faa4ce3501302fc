#pragma once

#include "convert/Conversion.h"

#include <QList>
#include <QPointer>
#include <QSet>
#include <QString>

namespace pelmora::test {

// A converter in this process for run and window tests: it reads fake PDFs (FakePdf.h)
// and delivers their pages through the event loop, a page a turn, as a worker's frames
// arrive. Time is the given clock's: SLEEP waits for the clock to move that far, and
// nothing runs in a process or on the real clock. A PDF is released by release(); a
// worker that dies or runs out of memory ends the conversion as the service would.
// Every conversion is logged to FakeConverter's log as the stand-in worker logs it.
class ScriptedConverter : public Converter
{
public:
    // `variant` stands for another PDF library: where "<pdf>.<variant>" exists, it is read
    // in the PDF's place, as that library would read the PDF otherwise.
    ScriptedConverter(Clock &clock, QString logFile, QString variant = {});

    std::unique_ptr<Conversion> convert(const ConversionRequest &request) override;
    QString identity(const ConversionRequest &like) override;
    // Lets the held steps of `pdf`'s conversions go on, now and later.
    void release(const QString &pdf);
    bool isReleased(const QString &pdf) const { return m_released.contains(pdf); }
    // Conversions under way.
    int running() const { return m_running; }
    bool isConverting(const QString &pdf) const;

private:
    friend class ScriptedConversion;
    Clock &m_clock;
    QString m_logFile;
    QString m_variant;
    QSet<QString> m_released;
    QList<QPointer<Conversion>> m_conversions;
    int m_running = 0;
};

} // namespace pelmora::test
