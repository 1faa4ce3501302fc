#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace pelmora {

class Clock;
class ConversionJob;
class ConverterWorkspace;

// The name a PDF goes by in the preview's sentences: no folder, nothing from the last
// "." on (a.b.pdf is a.b).
QString PreviewFileName(const QString &pdf);
QString ProtectedPreviewText(const QString &pdf);
QString UnreadablePreviewText(const QString &pdf);

// One click's look at a PDF: its first 100 pages converted, then the text to show or
// the sentence saying why there is none. It never blocks; the converted text is gone
// from disk by the time `finished` arrives, and a preview destroyed early ends its
// converter and leaves nothing behind.
class Preview : public QObject
{
    Q_OBJECT
public:
    Preview(ConverterWorkspace &workspace, Clock &clock, const QString &pdf, const QString &password,
            QObject *parent = nullptr);
    ~Preview() override;
    Q_DISABLE_COPY_MOVE(Preview)

    void start();
    // Ends the converter at once and puts the progress caption back; nothing more is signalled.
    void cancel();
    bool isRunning() const { return m_running; }
    QString pdf() const { return m_pdf; }

Q_SIGNALS:
    // The wait shows on the progress bar as a conversion's wait does, with no caption
    // of its own and value 0.
    void captionChanged(const QString &caption);
    void valueChanged(int value);
    // `error` is empty unless reading the converted text failed; `text` is then empty.
    void finished(const QString &text, const QString &error);

private:
    void onPolled(int counter);
    void onConverted();
    void finish(const QString &text, const QString &error);

    ConverterWorkspace &m_workspace;
    Clock &m_clock;
    QString m_pdf;
    QString m_password;
    std::unique_ptr<ConversionJob> m_job;
    bool m_running = false;
};

} // namespace pelmora
