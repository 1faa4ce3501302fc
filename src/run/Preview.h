#pragma once

#include "convert/Conversion.h"
#include "extract/ConvertedText.h"
#include "run/PasswordPrompt.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace pelmora {

// The name a PDF goes by in the preview's sentences: no folder, nothing from the last
// "." on (a.b.pdf is a.b).
QString PreviewFileName(const QString &pdf);
QString ProtectedPreviewText(const QString &pdf);
QString UnreadablePreviewText(const QString &pdf);
QString DamagedPreviewText(const QString &pdf);

// The language scanned pages are read in by the window, which offers no choice.
QString WindowScanLanguages();

// One click's look at a PDF: its first 100 pages converted, then the text to show or
// the sentence saying why there is none. A scanned file's first pages are read by text
// recognition, as its addresses would be. It never blocks, and a preview destroyed
// early ends its conversion and leaves nothing behind. When the file cannot be opened
// without a password, it asks once (see PasswordRules) and waits for answer().
class Preview : public QObject
{
    Q_OBJECT
public:
    // `asksForPassword` is read when the file turns out to need a password.
    Preview(Converter &converter, const QString &pdf, std::function<bool()> asksForPassword,
            QObject *parent = nullptr);
    ~Preview() override;
    Q_DISABLE_COPY_MOVE(Preview)

    void start();
    // The user's answer to passwordNeeded: the password, empty for none, nullopt to stop.
    void answer(const std::optional<QString> &password);
    // Ends the conversion at once and puts the progress caption back; nothing more is signalled.
    void cancel();
    bool isRunning() const { return m_state == State::Converting || m_state == State::AwaitingAnswer; }
    QString pdf() const { return m_pdf; }

Q_SIGNALS:
    // The wait shows on the progress bar as a conversion's wait does, with no caption
    // of its own and value 0.
    void captionChanged(const QString &caption);
    void valueChanged(int value);
    // The file cannot be opened without a password; the preview waits for answer().
    void passwordNeeded(pelmora::PasswordPrompt prompt);
    void finished(const QString &text);
    // The user stopped it at the password prompt; the box keeps what it showed.
    void stopped();

private:
    enum class State
    {
        Idle,
        Converting,
        AwaitingAnswer,
        Shown,
        Cancelled,
    };

    void convert(const QStringList &passwords);
    void onEvent(const ConversionEvent &event);
    void onPolled(int counter);
    void onConverted(ConversionOutcome outcome);
    void show(ConversionOutcome outcome);
    void endConversion();
    PasswordMode passwordMode() const;
    QString shownFor(ConversionOutcome outcome) const;

    Converter &m_converter;
    QString m_pdf;
    std::function<bool()> m_asksForPassword;
    PasswordRules m_rules;
    QStringList m_passwords; // of the conversion under way, or the last one
    bool m_asked = false;
    bool m_recognising = false; // the second conversion: a scan's pages read by recognition
    ConversionOutcome m_refusal = ConversionOutcome::NeedsPassword; // while awaiting an answer
    std::unique_ptr<Conversion> m_conversion;
    QByteArray m_text;
    TextReadability m_readability;
    State m_state = State::Idle;
};

} // namespace pelmora
