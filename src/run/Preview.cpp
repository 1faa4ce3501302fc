#include "run/Preview.h"

#include "convert/Conversion.h"
#include "convert/WaitProgress.h"
#include "core/FileHelpers.h"

#include <QPointer>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

constexpr int kPreviewPages = 100;

QString sentence(const QString &pdf, const QString &why)
{
    return u"The file "_s + PreviewFileName(pdf) + u" can not be read by this software - "_s + why;
}

} // namespace

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

Preview::Preview(Converter &converter, const QString &pdf, PasswordAsker askPassword, QObject *parent)
    : QObject(parent), m_converter(converter), m_pdf(pdf), m_askPassword(std::move(askPassword))
{
}

Preview::~Preview() = default;

void Preview::start()
{
    m_running = true;
    convert();
}

void Preview::convert()
{
    m_text.clear();
    m_readability = TextReadability();
    ConversionRequest request;
    request.pdf = m_pdf;
    if (!m_password.isEmpty())
        request.passwords = {m_password};
    request.firstPage = 1;
    request.lastPage = kPreviewPages;
    m_conversion = m_converter.convert(request);
    connect(m_conversion.get(), &Conversion::polled, this, &Preview::onPolled);
    connect(m_conversion.get(), &Conversion::pageConverted, this, [this](int, const QByteArray &text) {
        m_readability.examine(text);
        m_text += text;
    });
    connect(m_conversion.get(), &Conversion::finished, this, &Preview::onConverted);
    m_conversion->start();
}

void Preview::cancel()
{
    if (!m_running)
        return;
    m_running = false;
    m_conversion.reset(); // ends the conversion
    Q_EMIT captionChanged(RestingCaption(QString()));
}

void Preview::onPolled(int counter)
{
    if (const std::optional<QString> caption = WaitCaption(QString(), counter))
        Q_EMIT captionChanged(*caption);
    if (const std::optional<int> value = CreepValue(counter, 0, 0))
        Q_EMIT valueChanged(*value);
}

void Preview::onConverted(ConversionOutcome outcome)
{
    if (!m_running)
        return;
    // Its signal is still being delivered; let it return first.
    m_conversion.release()->deleteLater();
    const bool refused =
        outcome == ConversionOutcome::NeedsPassword || outcome == ConversionOutcome::WrongPassword;
    if (refused && !m_asked && m_askPassword) {
        m_asked = true;
        const QPointer<Preview> alive(this);
        const PasswordAsker ask = m_askPassword; // a copy: the preview may go while it asks
        const std::optional<QString> answer = ask();
        if (!alive || !m_running)
            return; // closed, or a newer click took over while the prompt was open
        if (!answer) {
            cancel();
            Q_EMIT stopped();
            return;
        }
        if (!answer->isEmpty()) {
            m_password = *answer;
            convert();
            return;
        }
    }
    m_running = false;
    Q_EMIT captionChanged(RestingCaption(QString()));
    const QString shown = shownFor(outcome);
    m_text.clear();
    Q_EMIT finished(shown);
}

QString Preview::shownFor(ConversionOutcome outcome) const
{
    QString shown;
    switch (outcome) {
    case ConversionOutcome::Text:
        shown = m_readability.unreadable() ? UnreadablePreviewText(m_pdf) : DisplayText(m_text);
        break;
    case ConversionOutcome::NeedsPassword:
    case ConversionOutcome::WrongPassword:
        shown = ProtectedPreviewText(m_pdf);
        break;
    case ConversionOutcome::Damaged:
    case ConversionOutcome::TimedOut:
        shown = DamagedPreviewText(m_pdf);
        break;
    }
    return shown;
}

} // namespace pelmora
