// Runs against converter workers that misbehave (the stand-in worker): one that never
// ends, one that crashes half-way, one that writes garbage, one that floods its output.
// After every run the input tree is unchanged and no converter process, nor any process
// a converter started, left running.
#include "EngineFixture.h"
#include "RunInvariants.h"
#include "RunToEnd.h"
#include "run/BatchRun.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

// The fixture's converter, noting the files whose conversions the run has asked for and
// those that have ended. A deadline runs from the asking, not from when the converter
// process gets round to the file, which on a loaded machine can be much later.
class EndNotingConverter : public Converter
{
public:
    explicit EndNotingConverter(Converter &inner) : m_inner(inner) {}
    std::unique_ptr<Conversion> convert(const ConversionRequest &request) override
    {
        asked.append(request.pdf);
        std::unique_ptr<Conversion> conversion = m_inner.convert(request);
        QObject::connect(conversion.get(), &Conversion::progressed,
                         [this, pdf = request.pdf](const ConversionEvent &event) {
                             if (event.kind == ConversionEvent::Kind::Finished)
                                 ended.append(pdf);
                         });
        return conversion;
    }
    bool converting(const QString &pdf) const { return asked.contains(pdf) && !ended.contains(pdf); }
    QStringList asked;
    QStringList ended;

private:
    Converter &m_inner;
};

} // namespace

class TestHostileConverter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void neverEndingConverterKeepsTheRunWaiting_data();
    void neverEndingConverterKeepsTheRunWaiting();
    void timeoutEndsNeverEndingConverters_data();
    void timeoutEndsNeverEndingConverters();
    void misbehavingConverters_data();
    void misbehavingConverters();
    void dyingWorkerSaysWhy_data();
    void dyingWorkerSaysWhy();

private:
    QString pdf(const QString &name, const QString &directive, const QByteArray &text) const
    {
        return m_engine->writePdf(name, directive, text);
    }
    std::unique_ptr<BatchRun> makeRun(const QStringList &pdfs, int jobs, int timeoutMs = kDefaultTimeoutMs)
    {
        RunRequest request;
        request.files = pdfs;
        request.jobs = jobs;
        request.timeoutMs = timeoutMs;
        auto batch = std::make_unique<BatchRun>(*m_engine->converter, m_engine->clock, request);
        m_host.attach(*batch);
        return batch;
    }
    test::RunInvariants invariants() const
    {
        return test::RunInvariants(m_engine->input.path(), m_engine->fake.get());
    }

    std::unique_ptr<test::EngineFixture> m_engine;
    test::ScriptedRunHost m_host;
};

void TestHostileConverter::init()
{
    QFETCH(int, kind);
    m_engine = std::make_unique<test::EngineFixture>(test::EngineFixture::Kind(kind));
    QVERIFY(m_engine->isValid());
}

void TestHostileConverter::cleanup()
{
    m_engine.reset();
}

// Each case runs against the service's workers.
template <typename Rows> void forTheWorkers(Rows &&rows)
{
    QTest::addColumn<int>("kind");
    rows(test::EngineFixture::Kind::FakeService, "service");
}

void TestHostileConverter::neverEndingConverterKeepsTheRunWaiting_data()
{
    forTheWorkers([](auto kind, const char *name) { QTest::newRow(name) << int(kind); });
}

void TestHostileConverter::neverEndingConverterKeepsTheRunWaiting()
{
    const QString hang = pdf(u"hang.pdf"_s, u"HANG"_s, "never@x.com\n");
    const QString good = pdf(u"good.pdf"_s, u"TEXT"_s, "good@x.com\n");
    const test::RunInvariants invariants = this->invariants();
    auto batch = makeRun({hang, good}, 1, 0); // --timeout 0
    QStringList found;
    connect(batch.get(), &BatchRun::addressesFound, this, [&](const QList<AddressSource> &f) {
        for (const AddressSource &address : f)
            found.append(address.address);
    });
    QSignalSpy finished(batch.get(), &BatchRun::finished);
    batch->start();
    QTRY_COMPARE(m_engine->fake->loggedCalls().size(), 1);
    // With no limit the run waits for as long as the converter takes.
    // The mock clock fires every poll due on the way at once; what a poll would set off is
    // then in the event queue.
    m_engine->clock.advance(qint64(3600) * 1000);
    QCoreApplication::sendPostedEvents();
    QVERIFY(!batch->isFinished());
    QCOMPARE(finished.size(), 0);
    QCOMPARE(found, QStringList());
    for (qint64 pid : m_engine->fake->loggedPids())
        QVERIFY(test::ProcessIsRunning(pid));
    // Closing the window destroys the run.
    batch.reset();
    QCOMPARE(m_engine->fake->loggedCalls().size(), 1); // the second file was never started
    const QString broken = m_engine->leftBehind(invariants);
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

void TestHostileConverter::timeoutEndsNeverEndingConverters_data()
{
    QTest::addColumn<int>("jobs");
    forTheWorkers([](auto kind, const char *name) {
        QTest::addRow("%s, one at a time", name) << 1 << int(kind);
        QTest::addRow("%s, three at once", name) << 3 << int(kind);
    });
}

void TestHostileConverter::timeoutEndsNeverEndingConverters()
{
    QFETCH(int, jobs);
    const QString hang1 = pdf(u"hang1.pdf"_s, u"HANG"_s, "never@x.com\n");
    const QString good = pdf(u"good.pdf"_s, u"TEXT"_s, "good@x.com\n");
    const QString hang2 = pdf(u"hang2.pdf"_s, u"HANG"_s, "never@x.com\n");
    const test::RunInvariants invariants = this->invariants();
    EndNotingConverter noting(*m_engine->converter);
    RunRequest request;
    request.files = {hang1, good, hang2};
    request.jobs = jobs;
    request.timeoutMs = 700;
    const auto batch = std::make_unique<BatchRun>(noting, m_engine->clock, request);
    QStringList found;
    connect(batch.get(), &BatchRun::addressesFound, this, [&](const QList<AddressSource> &f) {
        for (const AddressSource &address : f)
            found.append(address.address);
    });
    QSignalSpy finished(batch.get(), &BatchRun::finished);
    batch->start();
    // Time moves only while converters hang, a poll at a time, as it would for real; not
    // while the good file converts, however slowly a loaded machine starts its converter.
    const QDeadlineTimer patience(120000);
    while (finished.isEmpty() && !patience.hasExpired()) {
        QTest::qWait(5);
        if (!noting.converting(good))
            m_engine->clock.advance(100);
    }
    QCOMPARE(finished.size(), 1);
    QCOMPARE(found, QStringList{u"good@x.com"_s});
    const QString late = u"it did not open within 0.7 s"_s;
    QCOMPARE(batch->unreadableFiles(), (QList<UnreadableFile>{{hang1, UnreadableReason::TimedOut, late},
                                                              {hang2, UnreadableReason::TimedOut, late}}));
    const QString broken = m_engine->leftBehind(invariants);
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

void TestHostileConverter::misbehavingConverters_data()
{
    QTest::addColumn<QString>("directive");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<bool>("reported");
    // Binary garbage for text: NULs, control bytes, bytes that are no UTF-8.
    QByteArray garbage(qsizetype(256) * 1024, Qt::Uninitialized);
    QRandomGenerator(11).fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);
    garbage.insert(100000, QByteArray(1, '\0') + "\xff glued@x.com \x01\x02");
    forTheWorkers([&](auto kind, const char *name) {
        // Dies after writing "first@x.com second@example.com" of the text: what a crashed
        // converter left is not the file's text and must not give "second@example.com".
        QTest::addRow("%s: crash half-way", name)
            << u"CRASH 30"_s << QByteArray("first@x.com second@example.community\n") << QStringList() << true
            << int(kind);
        QTest::addRow("%s: crash before writing", name)
            << u"CRASH 0"_s << QByteArray("first@x.com\n") << QStringList() << true << int(kind);
        QTest::addRow("%s: garbage for text", name)
            << u"TEXT"_s << garbage << QStringList{u"glued@x.com"_s} << false << int(kind);
        QTest::addRow("%s: flood of messages", name) << u"NOISY 16"_s << QByteArray("noisy@x.com\n")
                                                     << QStringList{u"noisy@x.com"_s} << false << int(kind);
    });
}

void TestHostileConverter::misbehavingConverters()
{
    QFETCH(QString, directive);
    QFETCH(QByteArray, text);
    QFETCH(QStringList, addresses);
    QFETCH(bool, reported);
    const QString odd = pdf(u"odd.pdf"_s, directive, text);
    const QString good = pdf(u"good.pdf"_s, u"TEXT"_s, "good@x.com\n");
    const test::RunInvariants invariants = this->invariants();
    const test::RunOutcome outcome = test::runToEnd(*m_engine, {odd, good}, m_host, 2);
    QVERIFY(outcome.ended);
    QCOMPARE(outcome.addresses, addresses + QStringList{u"good@x.com"_s});
    if (reported)
        QCOMPARE(outcome.unreadable, (QList<UnreadableFile>{{odd, UnreadableReason::Damaged}}));
    else
        QCOMPARE(outcome.unreadable, QList<UnreadableFile>());
    const QString broken = m_engine->leftBehind(invariants);
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

void TestHostileConverter::dyingWorkerSaysWhy_data()
{
    forTheWorkers([](auto kind, const char *name) { QTest::newRow(name) << int(kind); });
}

void TestHostileConverter::dyingWorkerSaysWhy()
{
    // Its last lines on standard error become the file's reason; a file read before by the
    // same worker lends it none.
    const QString chatty = pdf(u"chatty.pdf"_s, u"TEXT"_s, "SAY warning: of another file\nfirst@x.com\f");
    const QString odd =
        pdf(u"odd.pdf"_s, u"CRASH 70"_s, // on the second page
            "first@x.com\nSAY error: out of \x1b[31mcheese\nSAY tesseract: aborting\fsecond@x.com\f");
    const test::RunOutcome outcome = test::runToEnd(*m_engine, {chatty, odd}, m_host, 1);
    QVERIFY(outcome.ended);
    QCOMPARE(outcome.unreadable,
             (QList<UnreadableFile>{{odd, UnreadableReason::Damaged,
                                     u"error: out of \\x1b[31mcheese / tesseract: aborting"_s}}));
    QCOMPARE(ReasonText(outcome.unreadable.constFirst()),
             u"  - damaged or not a PDF file: its converter ended saying \"error: out of \\x1b[31mcheese / "
             u"tesseract: aborting\"."_s);
}

QTEST_GUILESS_MAIN(TestHostileConverter)
#include "tst_hostileconverter.moc"
