#include "MockClock.h"
#include "core/Clock.h"

#include <QTest>

using namespace pelmora;

// The clock every wait and deadline of the program reads, and the stand-in the tests
// drive: both must tick alike, or a test on the mock proves nothing about the program.
class TestClock : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void systemClockTicksUntilTheTickerGoes();
    void mockFiresDueTicksInTimeOrder();
    void mockTickerMayEndItselfOrOthers();
};

void TestClock::systemClockTicksUntilTheTickerGoes()
{
    Clock &clock = Clock::system();
    const qint64 start = clock.now();
    int ticks = 0;
    auto ticker = clock.every(1, [&] { ++ticks; });
    QTRY_VERIFY(ticks >= 3);
    QVERIFY(clock.now() >= start);
    ticker.reset();
    const int before = ticks;
    // Another ticker's ticks show time passing; the ended one stays quiet meanwhile.
    int probeTicks = 0;
    const auto probe = clock.every(1, [&] { ++probeTicks; });
    QTRY_VERIFY(probeTicks >= 3);
    QCOMPARE(ticks, before);
}

void TestClock::mockFiresDueTicksInTimeOrder()
{
    test::MockClock clock;
    const qint64 start = clock.now();
    QList<QPair<char, qint64>> fired;
    auto fast = clock.every(100, [&] { fired.append({'f', clock.now() - start}); });
    auto slow = clock.every(250, [&] { fired.append({'s', clock.now() - start}); });
    clock.advance(99);
    QVERIFY(fired.isEmpty());
    clock.advance(451);
    // Ties go in the order the tickers were made.
    const QList<QPair<char, qint64>> expected{{'f', 100}, {'f', 200}, {'s', 250}, {'f', 300},
                                              {'f', 400}, {'f', 500}, {'s', 500}};
    QCOMPARE(fired, expected);
    QCOMPARE(clock.now() - start, 550);
}

void TestClock::mockTickerMayEndItselfOrOthers()
{
    test::MockClock clock;
    int selfTicks = 0;
    int otherTicks = 0;
    std::unique_ptr<Ticker> other = clock.every(10, [&] { ++otherTicks; });
    std::unique_ptr<Ticker> self;
    self = clock.every(10, [&] {
        if (++selfTicks == 2) {
            self.reset();  // as a finished conversion drops its poller
            other.reset(); // and another one's
        }
    });
    clock.advance(100);
    QCOMPARE(selfTicks, 2);
    QCOMPARE(otherTicks, 2);
    QCOMPARE(clock.tickers(), 0);
    // A ticker made while time moves starts from that moment.
    int late = 0;
    std::unique_ptr<Ticker> latecomer;
    auto maker = clock.every(30, [&] {
        if (!latecomer)
            latecomer = clock.every(30, [&] { ++late; });
    });
    clock.advance(100);
    QCOMPARE(late, 2); // made at 30 on this stretch, ticks at 60 and 90
}

QTEST_GUILESS_MAIN(TestClock)
#include "tst_clock.moc"
