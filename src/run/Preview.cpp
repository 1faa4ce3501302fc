#include "run/Preview.h"

#include "convert/Conversion.h"
#include "convert/WaitProgress.h"
#include "core/FileHelpers.h"
#include "extract/OcrRepair.h"

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

constexpr int kPreviewPages = 100;
// Recognition takes a second or more a page: a scan's preview reads its first pages only.
constexpr int kRecognisedPreviewPages = 5;

QString sentence(const QString &pdf, const QString &why)
{
    return u"The file "_s + PreviewFileName(pdf) + u" can not be read by this software - "_s + why;
}

} // namespace

QString WindowScanLanguages()
{
    return u"eng"_s;
}

QString PreviewFileName(const QString &pdf)
{
    return StripExtension(FileNameOfPath(pdf));
}

QString ProtectedPreviewText(const QString &pdf)
{
    return sentence(pdf, u"password protected."_s);
}

QString UnreadablePreviewText(const QString &pdf)
{
    return sentence(pdf,
                    u"text unreadable. Please view the file yourself to see if it is really a scanned image "
                    u"of text and not proper PDF text."_s);
}

QString DamagedPreviewText(const QString &pdf)
{
    return sentence(pdf, u"damaged or not a PDF file."_s);
}

Preview::Preview(Converter &converter, const QString &pdf, std::function<bool()> asksForPassword,
                 QObject *parent)
    : QObject(parent), m_converter(converter), m_pdf(pdf), m_asksForPassword(std::move(asksForPassword))
{
}

Preview::~Preview()
{
    endConversion();
}

void Preview::start()
{
    if (m_state != State::Idle)
        return;
    convert({});
}

PasswordMode Preview::passwordMode() const
{
    return m_asksForPassword && m_asksForPassword() ? PasswordMode::PerFile : PasswordMode::None;
}

void Preview::convert(const QStringList &passwords)
{
    m_state = State::Converting;
    m_passwords = passwords;
    m_text.clear();
    m_readability = TextReadability();
    ConversionRequest request;
    request.pdf = m_pdf;
    request.passwords = passwords;
    request.firstPage = 1;
    request.lastPage = m_recognising ? kRecognisedPreviewPages : kPreviewPages;
    request.recognise = m_recognising;
    request.languages = m_recognising ? WindowScanLanguages() : QString();
    m_conversion = m_converter.convert(request);
    connect(m_conversion.get(), &Conversion::polled, this, &Preview::onPolled);
    connect(m_conversion.get(), &Conversion::progressed, this, &Preview::onEvent);
    m_conversion->start();
}

void Preview::endConversion()
{
    if (!m_conversion)
        return;
    // This may run inside one of the conversion's own signals: it goes later.
    m_conversion->disconnect(this);
    m_conversion->cancel();
    m_conversion.release()->deleteLater();
}

void Preview::cancel()
{
    if (!isRunning())
        return;
    m_state = State::Cancelled;
    endConversion();
    Q_EMIT captionChanged(RestingCaption(QString()));
}

void Preview::onPolled(int counter)
{
    if (const std::optional<QString> caption = WaitCaption(QString(), counter))
        Q_EMIT captionChanged(*caption);
    if (const std::optional<int> value = CreepValue(counter, 0, 0))
        Q_EMIT valueChanged(*value);
}

void Preview::onEvent(const ConversionEvent &event)
{
    switch (event.kind) {
    case ConversionEvent::Kind::Page: {
        const QByteArray text = event.recognised ? RepairRecognisedText(event.text) : event.text;
        m_readability.examine(text);
        m_text += text;
        return;
    }
    case ConversionEvent::Kind::Finished:
        onConverted(event.outcome);
        return;
    case ConversionEvent::Kind::Opened:
    case ConversionEvent::Kind::Recognising:
        return;
    }
}

void Preview::onConverted(ConversionOutcome outcome)
{
    endConversion();
    const bool refused =
        outcome == ConversionOutcome::NeedsPassword || outcome == ConversionOutcome::WrongPassword;
    if (outcome == ConversionOutcome::Text && m_readability.unreadable() && !m_recognising) {
        m_recognising = true; // a scan: shown as recognition reads it
        return convert(m_passwords);
    }
    if (!refused)
        return show(outcome);
    const PasswordMode mode = passwordMode();
    switch (m_rules.onRefused(mode, m_passwords, m_asked)) {
    case PasswordRules::Step::Ask:
        m_asked = true;
        m_refusal = outcome;
        m_state = State::AwaitingAnswer;
        Q_EMIT passwordNeeded(PasswordRules::prompt(mode));
        return;
    case PasswordRules::Step::Retry:
        m_asked = true;
        return convert(m_rules.toTry());
    case PasswordRules::Step::Settle:
        return show(outcome);
    }
}

void Preview::answer(const std::optional<QString> &password)
{
    if (m_state != State::AwaitingAnswer)
        return;
    if (!password) {
        cancel();
        Q_EMIT stopped();
        return;
    }
    const QStringList passwords = m_rules.onAnswer(PasswordPrompt::ForFile, *password);
    if (passwords.isEmpty())
        show(m_refusal);
    else
        convert(passwords);
}

void Preview::show(ConversionOutcome outcome)
{
    m_state = State::Shown;
    Q_EMIT captionChanged(RestingCaption(QString()));
    const QString shown = shownFor(outcome);
    m_text.clear();
    Q_EMIT finished(shown);
}

QString Preview::shownFor(ConversionOutcome outcome) const
{
    switch (outcome) {
    case ConversionOutcome::Text:
        return m_readability.unreadable() ? UnreadablePreviewText(m_pdf) : DisplayText(m_text);
    case ConversionOutcome::NeedsPassword:
    case ConversionOutcome::WrongPassword:
        return ProtectedPreviewText(m_pdf);
    case ConversionOutcome::Damaged:
    case ConversionOutcome::TimedOut:
    case ConversionOutcome::Failed:
        break;
    }
    return DamagedPreviewText(m_pdf);
}

} // namespace pelmora
