#pragma once

#include "run/FileReading.h"

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

// The language scanned pages are read in when no other is chosen.
QString WindowScanLanguages();

// One click's look at a PDF: its first 100 pages converted, then the text to show or
// the sentence saying why there is none. What a run reads besides the pages' text (the
// notes, form values, metadata and attached files that setSources chooses) follows the
// pages, each under a plain heading. A scanned file's first pages are read by text
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

    // Tesseract's codes joined with "+" for a scan's pages; WindowScanLanguages() unless set.
    void setScanLanguages(const QString &languages) { m_languages = languages; }
    void setSources(const SourceChoices &sources);
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

    void read(const std::optional<QStringList> &passwords);
    void onPolled(int counter);
    void onConverted();
    void onSettled();
    void show();
    QString shown() const;
    void addSource(const SourceText &source);

    Converter &m_converter;
    QString m_pdf;
    std::function<bool()> m_asksForPassword;
    ReadingOptions m_options;
    PasswordRules m_rules;
    std::unique_ptr<FileReading> m_reading;
    QByteArray m_text;
    QString m_besides; // what is read besides the pages' text, under its headings
    QString m_heading; // the last of them
    QString m_languages = WindowScanLanguages();
    State m_state = State::Idle;
};

} // namespace pelmora
