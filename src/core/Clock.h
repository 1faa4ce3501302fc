#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>

namespace pelmora {

// Ticks of a Clock; they stop when this goes.
class Ticker
{
public:
    virtual ~Ticker() = default;
};

// Where the program's time comes from: polls, deadlines and "how long ago". Tests
// drive a clock of their own, so a five-second wait takes no time at all.
class Clock
{
public:
    virtual ~Clock() = default;

    // Milliseconds on a scale that never goes back; its zero means nothing.
    virtual qint64 now() const = 0;
    // Milliseconds since 1970 (UTC) by the calendar, which may jump: for times kept
    // from one run to the next.
    virtual qint64 wallTime() const = 0;
    // Calls `tick` every `intervalMs` from the event loop until the ticker is destroyed.
    virtual std::unique_ptr<Ticker> every(int intervalMs, std::function<void()> tick) = 0;

    // The real time, for the whole program.
    static Clock &system();
};

} // namespace pelmora
