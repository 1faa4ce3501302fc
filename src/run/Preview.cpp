#include "run/Preview.h"

#include "convert/WaitProgress.h"
#include "core/FileHelpers.h"

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
    m_options.searched = false;
    m_options.like.firstPage = 1;
    m_options.like.timeoutMs = kDefaultTimeoutMs;
    m_options.like.lastPage = kPreviewPages;
}

Preview::~Preview() = default;

void Preview::setSources(const SourceChoices &sources)
{
    m_options.like.notes = sources.notes;
    m_options.like.metadata = sources.metadata;
    m_options.like.attachments = sources.attachments;
}

void Preview::addSource(const SourceText &source)
{
    using protocol::SourceKind;
    QString heading = u"Attached file "_s + source.inside;
    if (source.inside.isEmpty())
        heading = source.kind == SourceKind::Metadata ? u"Metadata"_s : u"Notes and form fields"_s;
    if (!source.notRead.isEmpty())
        heading = u"Attached file "_s + source.inside + u" not read: "_s + source.notRead;
    if (heading != m_heading)
        m_besides += u"\n\n"_s + heading + u'\n';
    m_heading = heading;
    QString label;
    if (source.kind == SourceKind::Metadata)
        label = source.name + u": "_s;
    else if (source.page > 0 && source.kind != SourceKind::Text)
        label = u"Page "_s + QString::number(source.page) +
                (source.kind == SourceKind::Form   ? u", form field: "_s
                 : source.kind == SourceKind::Link ? u", link: "_s
                                                   : u", note: "_s);
    if (source.notRead.isEmpty())
        m_besides += label + DisplayText(source.text) + u'\n';
}

void Preview::start()
{
    if (m_state != State::Idle)
        return;
    read(std::nullopt);
}

void Preview::read(const std::optional<QStringList> &passwords)
{
    m_state = State::Converting;
    m_text.clear();
    m_besides.clear();
    m_heading.clear();
    if (m_reading) {
        // Its signal may still be under way; the preview takes it along if it goes first.
        m_reading->setParent(this);
        m_reading.release()->deleteLater();
    }
    m_reading = std::make_unique<FileReading>(m_converter, m_pdf, m_options, m_rules);
    connect(m_reading.get(), &FileReading::polled, this, &Preview::onPolled);
    connect(m_reading.get(), &FileReading::pageRead, this,
            [this](int, const QByteArray &text) { m_text += text; });
    connect(m_reading.get(), &FileReading::sourceRead, this, &Preview::addSource);
    connect(m_reading.get(), &FileReading::conversionEnded, this, &Preview::onConverted);
    m_reading->start(passwords);
}

void Preview::cancel()
{
    if (!isRunning())
        return;
    m_state = State::Cancelled;
    m_reading->cancel();
    Q_EMIT captionChanged(RestingCaption(QString()));
}

void Preview::onPolled(int counter)
{
    if (const std::optional<QString> caption = WaitCaption(QString(), counter))
        Q_EMIT captionChanged(*caption);
    if (const std::optional<int> value = CreepValue(counter, 0, 0))
        Q_EMIT valueChanged(*value);
}

void Preview::onConverted()
{
    const bool asks = m_asksForPassword && m_asksForPassword();
    if (const std::optional<PasswordPrompt> prompt =
            m_reading->takeTurn(asks ? PasswordMode::PerFile : PasswordMode::None)) {
        m_state = State::AwaitingAnswer;
        Q_EMIT passwordNeeded(*prompt);
        return;
    }
    if (m_reading->isSettled())
        onSettled();
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
    m_state = State::Converting;
    m_reading->answer(*password);
    if (m_reading->isSettled())
        onSettled();
}

void Preview::onSettled()
{
    if (m_reading->outcome() == ConversionOutcome::Text && m_reading->textUnreadable() &&
        !m_options.like.recognise) {
        // A scan: shown as recognition reads its first pages.
        m_options.like.recognise = true;
        m_options.like.languages = m_languages;
        m_options.like.lastPage = kRecognisedPreviewPages;
        return read(m_reading->passwords());
    }
    show();
}

void Preview::show()
{
    m_state = State::Shown;
    Q_EMIT captionChanged(RestingCaption(QString()));
    const QString text = shown();
    m_text.clear();
    Q_EMIT finished(text);
}

QString Preview::shown() const
{
    switch (m_reading->outcome()) {
    case ConversionOutcome::Text:
        return m_reading->textUnreadable() ? UnreadablePreviewText(m_pdf) : DisplayText(m_text) + m_besides;
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
