#pragma once

#include "core/Clock.h"

#include <QList>

#include <memory>

namespace pelmora::test {

// A clock that stands still until the test moves it. Moving it fires every tick that
// falls due on the way, in time order, as the real clock would over that stretch.
class MockClock : public Clock
{
public:
    MockClock();
    ~MockClock() override;
    MockClock(const MockClock &) = delete;
    MockClock &operator=(const MockClock &) = delete;

    qint64 now() const override { return m_now; }
    // A calendar that moves with now(), from a fixed day on.
    qint64 wallTime() const override { return kWallStart + m_now; }
    std::unique_ptr<Ticker> every(int intervalMs, std::function<void()> tick) override;

    // Moves the clock on by `ms`, firing what falls due.
    void advance(qint64 ms);
    // How many tickers are running.
    qsizetype tickers() const;

private:
    struct Entry;
    class MockTicker;
    friend class MockTicker;

    static constexpr qint64 kWallStart = 1700000000000; // 14 November 2023
    qint64 m_now = 1000000;                             // far from 0, so "time since" never starts negative
    quint64 m_nextId = 0;
    // Shared with the tickers, which may outlive the clock.
    std::shared_ptr<QList<Entry>> m_entries;
};

} // namespace pelmora::test
