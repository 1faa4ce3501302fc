#include "core/Clock.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>

namespace pelmora {

namespace {

class TimerTicker : public Ticker
{
public:
    TimerTicker(int intervalMs, std::function<void()> tick)
    {
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, std::move(tick));
        m_timer.start();
    }

private:
    QTimer m_timer;
};

class SystemClock : public Clock
{
public:
    SystemClock() { m_elapsed.start(); }
    qint64 now() const override { return m_elapsed.elapsed(); }
    qint64 wallTime() const override { return QDateTime::currentMSecsSinceEpoch(); }
    std::unique_ptr<Ticker> every(int intervalMs, std::function<void()> tick) override
    {
        return std::make_unique<TimerTicker>(intervalMs, std::move(tick));
    }

private:
    QElapsedTimer m_elapsed;
};

} // namespace

Clock &Clock::system()
{
    static SystemClock clock;
    return clock;
}

} // namespace pelmora
