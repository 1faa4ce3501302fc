#include "MockClock.h"

#include <algorithm>

namespace pelmora::test {

struct MockClock::Entry
{
    quint64 id;
    int interval;
    qint64 due;
    std::shared_ptr<std::function<void()>> tick;
};

class MockClock::MockTicker : public Ticker
{
public:
    MockTicker(std::weak_ptr<QList<Entry>> entries, quint64 id) : m_entries(std::move(entries)), m_id(id) {}
    ~MockTicker() override
    {
        if (const auto entries = m_entries.lock())
            entries->removeIf([this](const Entry &entry) { return entry.id == m_id; });
    }

private:
    std::weak_ptr<QList<Entry>> m_entries;
    quint64 m_id;
};

MockClock::MockClock() : m_entries(std::make_shared<QList<Entry>>())
{
}

MockClock::~MockClock() = default;

std::unique_ptr<Ticker> MockClock::every(int intervalMs, std::function<void()> tick)
{
    const quint64 id = m_nextId++;
    const int interval = std::max(1, intervalMs);
    m_entries->append(
        {id, interval, m_now + interval, std::make_shared<std::function<void()>>(std::move(tick))});
    return std::make_unique<MockTicker>(m_entries, id);
}

void MockClock::advance(qint64 ms)
{
    const qint64 end = m_now + ms;
    for (;;) {
        // The earliest tick due by the end; a tick may start or stop tickers, so the
        // list is looked at afresh each time.
        const auto next = std::min_element(m_entries->begin(), m_entries->end(),
                                           [](const Entry &a, const Entry &b) { return a.due < b.due; });
        if (next == m_entries->end() || next->due > end)
            break;
        m_now = next->due;
        next->due += next->interval;
        const std::shared_ptr<std::function<void()>> tick = next->tick; // may be removed while it runs
        (*tick)();
    }
    m_now = end;
}

qsizetype MockClock::tickers() const
{
    return m_entries->size();
}

} // namespace pelmora::test
