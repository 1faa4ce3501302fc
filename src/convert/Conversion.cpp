#include "convert/Conversion.h"

#include "convert/ConvertLog.h"
#include "core/Clock.h"

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

constexpr int kPollIntervalMs = 100;

ConversionOutcome outcomeOf(protocol::Outcome outcome)
{
    switch (outcome) {
    case protocol::Outcome::Text:
        return ConversionOutcome::Text;
    case protocol::Outcome::NeedsPassword:
        return ConversionOutcome::NeedsPassword;
    case protocol::Outcome::WrongPassword:
        return ConversionOutcome::WrongPassword;
    case protocol::Outcome::Error:
        return ConversionOutcome::Failed;
    case protocol::Outcome::Damaged:
    case protocol::Outcome::NotRegular:
        break;
    }
    return ConversionOutcome::Damaged;
}

QByteArray bytesOf(std::string_view view)
{
    return {view.data(), static_cast<qsizetype>(view.size())};
}

// What was not read in time after the pages: the metadata or an attached file.
QString besides(const QString &seconds, const QString &lastInside)
{
    return (lastInside.isEmpty()
                ? u"its metadata and attached files were not read within "_s
                : u"its attached files after "_s + lastInside + u" were not read within "_s) +
           seconds;
}

} // namespace

Conversion::Conversion(Clock &clock, ConversionRequest request, QObject *parent)
    : QObject(parent), m_clock(clock), m_request(std::move(request))
{
    // Every step a receiver hears, whichever way it comes, moves the deadline on.
    connect(this, &Conversion::progressed, this, &Conversion::onStep);
}

Conversion::~Conversion() = default;

void Conversion::start()
{
    m_running = true;
    m_polls = 0;
    m_stepAt = m_clock.now();
    m_lastStep = ConversionEvent::Kind::Finished; // nothing yet: it is opening
    m_lastPage = std::max(0, m_request.firstPage - 1);
    m_poller = m_clock.every(kPollIntervalMs, [this] { poll(); });
    begin();
}

void Conversion::cancel()
{
    if (!m_running)
        return;
    m_running = false;
    m_poller.reset();
    abandon();
}

bool Conversion::stopAfter(int)
{
    return false;
}

void Conversion::poll()
{
    ++m_polls;
    if (m_request.timeoutMs > 0 && m_clock.now() - m_stepAt >= m_request.timeoutMs) {
        abandon();
        finish(ConversionOutcome::TimedOut, awaited());
        return;
    }
    Q_EMIT polled(m_polls);
}

bool Conversion::take(const protocol::PageEvent &event)
{
    using protocol::FrameType;
    const bool pagesFollow = m_opened == protocol::Outcome::Text;
    switch (event.type) {
    case FrameType::Opened:
        if (m_opened)
            return false;
        m_opened = event.outcome;
        m_detail = QString::fromUtf8(bytesOf(event.bytes));
        if (event.outcome == protocol::Outcome::Text) {
            ConversionEvent opened{ConversionEvent::Kind::Opened};
            opened.pages = event.pages;
            Q_EMIT progressed(opened);
        }
        return true;
    case FrameType::Recognising:
        if (!pagesFollow)
            return false;
        m_recognisedPage = event.page;
        Q_EMIT progressed({ConversionEvent::Kind::Recognising, event.page, event.pages});
        return true;
    case FrameType::Text:
        if (!pagesFollow)
            return false;
        m_page.append(bytesOf(event.bytes));
        return true;
    case FrameType::Link:
        if (!pagesFollow)
            return false;
        m_links.append(bytesOf(event.bytes));
        return true;
    case FrameType::Unsure: {
        if (!pagesFollow || event.page != m_recognisedPage)
            return false;
        UnsureAddress unsure{bytesOf(event.bytes), {}};
        for (const std::string_view alternative : event.alternatives)
            unsure.alternatives.append(bytesOf(alternative));
        m_unsure.append(unsure);
        return true;
    }
    case FrameType::Incomplete:
        if (!pagesFollow)
            return false;
        m_incomplete = QString::fromUtf8(bytesOf(event.bytes));
        return true;
    case FrameType::Note:
        if (!pagesFollow)
            return false;
        m_notes.append({event.kind, event.shown, {}, event.page, {}, bytesOf(event.bytes), {}});
        return true;
    case FrameType::PageEnd: {
        if (!pagesFollow)
            return false;
        ConversionEvent page{ConversionEvent::Kind::Page, event.page};
        page.text = std::exchange(m_page, {});
        page.links = std::exchange(m_links, {});
        page.unsure = std::exchange(m_unsure, {});
        page.incomplete = std::exchange(m_incomplete, {});
        page.notes = std::exchange(m_notes, {});
        page.recognised = event.page == m_recognisedPage;
        Q_EMIT progressed(page);
        return true;
    }
    case FrameType::Extra:
    case FrameType::NotRead: {
        if (!pagesFollow)
            return false;
        ConversionEvent beyond{ConversionEvent::Kind::Source};
        beyond.source.inside = QString::fromUtf8(bytesOf(event.inside));
        if (event.type == FrameType::NotRead) {
            beyond.source.notRead = QString::fromUtf8(bytesOf(event.bytes));
        } else {
            beyond.source = {event.kind,
                             event.shown,
                             beyond.source.inside,
                             event.page,
                             QString::fromUtf8(bytesOf(event.name)),
                             bytesOf(event.bytes),
                             {}};
        }
        Q_EMIT progressed(beyond);
        return true;
    }
    case FrameType::Done:
        if (!m_opened)
            return false;
        finish(outcomeOf(*m_opened), m_detail, true);
        return true;
    case FrameType::Convert:
    case FrameType::StopAfter:
        break;
    }
    return false;
}

std::optional<qint64> Conversion::timeLeft() const
{
    if (m_request.timeoutMs <= 0)
        return std::nullopt;
    return m_request.timeoutMs - (m_clock.now() - m_stepAt);
}

void Conversion::onStep(const ConversionEvent &event)
{
    if (event.kind == ConversionEvent::Kind::Finished)
        return;
    m_stepAt = m_clock.now();
    m_lastStep = event.kind;
    if (event.kind == ConversionEvent::Kind::Opened)
        m_pages = event.pages;
    else if (event.kind == ConversionEvent::Kind::Source)
        m_lastInside = event.source.inside;
    else
        m_lastPage = event.page;
}

QString Conversion::awaited() const
{
    const QString seconds = QString::number(m_request.timeoutMs / 1000.0) + u" s"_s;
    switch (m_lastStep) {
    case ConversionEvent::Kind::Finished:
        return u"it did not open within "_s + seconds;
    case ConversionEvent::Kind::Recognising:
        return u"page "_s + QString::number(m_lastPage) + u" was not recognised within "_s + seconds;
    case ConversionEvent::Kind::Source:
        return besides(seconds, m_lastInside);
    case ConversionEvent::Kind::Opened:
    case ConversionEvent::Kind::Page:
        break;
    }
    // After the last page come the metadata and the attached files, when asked.
    const int lastPage = std::max(1, m_request.firstPage) + m_pages - 1;
    if ((m_request.metadata || m_request.attachments) && m_pages > 0 && m_lastPage >= lastPage)
        return besides(seconds, {});
    return u"page "_s + QString::number(m_lastPage + 1) + u" was not read within "_s + seconds;
}

void Conversion::finish(ConversionOutcome outcome, const QString &detail, bool judged)
{
    if (!m_running)
        return;
    m_running = false;
    m_poller.reset();
    if (!detail.isEmpty())
        qCDebug(lcConvert) << m_request.pdf << "ended" << static_cast<int>(outcome) << detail;
    ConversionEvent finished{ConversionEvent::Kind::Finished};
    finished.outcome = outcome;
    finished.detail = detail;
    finished.judged = judged;
    QMetaObject::invokeMethod(
        this, [this, finished] { Q_EMIT progressed(finished); }, Qt::QueuedConnection);
}

void EndConversion(std::unique_ptr<Conversion> &conversion, const QObject *receiver)
{
    if (!conversion)
        return;
    conversion->disconnect(receiver);
    conversion->cancel();
    conversion.release()->deleteLater();
}

} // namespace pelmora
