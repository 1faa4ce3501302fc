#include "convert/Conversion.h"

#include "core/Clock.h"

namespace pelmora {

namespace {
constexpr int kPollIntervalMs = 100;
}

Conversion::Conversion(Clock &clock, ConversionRequest request, QObject *parent)
    : QObject(parent), m_clock(clock), m_request(std::move(request))
{
}

Conversion::~Conversion() = default;

void Conversion::start()
{
    m_running = true;
    m_polls = 0;
    m_poller = m_clock.every(kPollIntervalMs, [this] { poll(); });
    begin();
}

void Conversion::poll()
{
    ++m_polls;
    if (m_request.timeoutMs > 0 && m_polls * kPollIntervalMs >= m_request.timeoutMs) {
        abandon();
        finish(ConversionOutcome::TimedOut);
        return;
    }
    Q_EMIT polled(m_polls);
}

void Conversion::finish(ConversionOutcome outcome)
{
    if (!m_running)
        return;
    m_running = false;
    m_poller.reset();
    QMetaObject::invokeMethod(
        this, [this, outcome] { Q_EMIT finished(outcome); }, Qt::QueuedConnection);
}

} // namespace pelmora
