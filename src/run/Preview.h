#pragma once

#include "extract/ConvertedText.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace pelmora {

class Conversion;
class Converter;
enum class ConversionOutcome;

// The name a PDF goes by in the preview's sentences: no folder, nothing from the last
// "." on (a.b.pdf is a.b).
QString PreviewFileName(const QString &pdf);
QString ProtectedPreviewText(const QString &pdf);
QString UnreadablePreviewText(const QString &pdf);
QString DamagedPreviewText(const QString &pdf);

// One click's look at a PDF: its first 100 pages converted, then the text to show or
// the sentence saying why there is none. It never blocks, and a preview destroyed
// early ends its conversion and leaves nothing behind.
class Preview : public QObject
{
    Q_OBJECT
public:
    // Asked only when the file cannot be opened without a password: the password, empty
    // for none, nullopt to stop. It may run a nested event loop, and the preview may be
    // destroyed meanwhile.
    using PasswordAsker = std::function<std::optional<QString>()>;

    Preview(Converter &converter, const QString &pdf, PasswordAsker askPassword, QObject *parent = nullptr);
    ~Preview() override;
    Q_DISABLE_COPY_MOVE(Preview)

    void start();
    // Ends the conversion at once and puts the progress caption back; nothing more is signalled.
    void cancel();
    bool isRunning() const { return m_running; }
    QString pdf() const { return m_pdf; }

Q_SIGNALS:
    // The wait shows on the progress bar as a conversion's wait does, with no caption
    // of its own and value 0.
    void captionChanged(const QString &caption);
    void valueChanged(int value);
    void finished(const QString &text);
    // The user stopped it at the password prompt; the box keeps what it showed.
    void stopped();

private:
    void convert();
    void onPolled(int counter);
    void onConverted(ConversionOutcome outcome);
    QString shownFor(ConversionOutcome outcome) const;

    Converter &m_converter;
    QString m_pdf;
    PasswordAsker m_askPassword;
    QString m_password;
    bool m_asked = false;
    std::unique_ptr<Conversion> m_conversion;
    QByteArray m_text;
    TextReadability m_readability;
    bool m_running = false;
};

} // namespace pelmora
