// Runs against converters that misbehave (a scripted stand-in on PATH): one that never
// ends, one that crashes half-way, one that writes garbage, one that floods its output.
// After every run the input tree is unchanged, the work folder empty and no converter
// process, nor any process a converter started, left running.
#include "FakeConverter.h"
#include "RunInvariants.h"
#include "convert/ConverterWorkspace.h"
#include "run/BatchRun.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

class Host : public BatchRunHost
{
public:
    PasswordMode passwordMode() override { return PasswordMode::None; }
    QString askPassword(PasswordPrompt, const QString &) override { return QString(); }
};

} // namespace

class TestHostileConverter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void neverEndingConverterKeepsTheRunWaiting();
    void timeoutEndsNeverEndingConverters_data();
    void timeoutEndsNeverEndingConverters();
    void misbehavingConverters_data();
    void misbehavingConverters();

private:
    QString pdf(const QString &name, const QString &directive, const QByteArray &text) const
    {
        return test::FakeConverter::writePdfIn(m_input->path(), name, directive, text);
    }

    std::unique_ptr<test::FakeConverter> m_fake;
    std::unique_ptr<QTemporaryDir> m_input;
    std::unique_ptr<QTemporaryDir> m_temp;
    std::unique_ptr<ConverterWorkspace> m_workspace;
};

void TestHostileConverter::init()
{
    m_fake = std::make_unique<test::FakeConverter>();
    m_input = std::make_unique<QTemporaryDir>();
    m_temp = std::make_unique<QTemporaryDir>();
    m_workspace = std::make_unique<ConverterWorkspace>(m_temp->path());
    m_workspace->EnsureConverter();
}

void TestHostileConverter::cleanup()
{
    m_workspace.reset();
    m_temp.reset();
    m_input.reset();
    m_fake.reset();
}

void TestHostileConverter::neverEndingConverterKeepsTheRunWaiting()
{
    const QString hang = pdf(u"hang.pdf"_s, u"HANG"_s, "never@x.com\n");
    const QString good = pdf(u"good.pdf"_s, u"TEXT"_s, "good@x.com\n");
    const test::RunInvariants invariants(m_input->path(), m_workspace->workFolder(), m_fake.get());
    Host host;
    auto batch = std::make_unique<BatchRun>(*m_workspace, host, QStringList{hang, good});
    batch->setParallelJobs(1);
    QStringList found;
    connect(batch.get(), &BatchRun::addressesFound, this, [&](const QStringList &f) { found += f; });
    QSignalSpy finished(batch.get(), &BatchRun::finished);
    batch->start();
    QTRY_COMPARE(m_fake->loggedPids().size(), 2); // the converter and its helper
    // No limit was set: the run waits for as long as the converter takes.
    QTest::qWait(1500);
    QVERIFY(!batch->isFinished());
    QCOMPARE(finished.size(), 0);
    QCOMPARE(found, QStringList());
    for (qint64 pid : m_fake->loggedPids())
        QVERIFY(test::ProcessIsRunning(pid));
    // Closing the window destroys the run.
    batch.reset();
    QCOMPARE(m_fake->loggedCalls().size(), 1); // the second file was never started
    const QString broken = invariants.violations();
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

void TestHostileConverter::timeoutEndsNeverEndingConverters_data()
{
    QTest::addColumn<int>("jobs");
    QTest::newRow("one at a time") << 1;
    QTest::newRow("three at once") << 3;
}

void TestHostileConverter::timeoutEndsNeverEndingConverters()
{
    QFETCH(int, jobs);
    const QString hang1 = pdf(u"hang1.pdf"_s, u"HANG"_s, "never@x.com\n");
    const QString good = pdf(u"good.pdf"_s, u"TEXT"_s, "good@x.com\n");
    const QString hang2 = pdf(u"hang2.pdf"_s, u"HANG"_s, "never@x.com\n");
    const test::RunInvariants invariants(m_input->path(), m_workspace->workFolder(), m_fake.get());
    Host host;
    BatchRun batch(*m_workspace, host, {hang1, good, hang2});
    batch.setParallelJobs(jobs);
    batch.setTimeout(700);
    QStringList found;
    connect(&batch, &BatchRun::addressesFound, this, [&](const QStringList &f) { found += f; });
    QSignalSpy finished(&batch, &BatchRun::finished);
    batch.start();
    QVERIFY(finished.wait(20000));
    QCOMPARE(found, QStringList{u"good@x.com"_s});
    QCOMPARE(batch.unreadableFiles(), (QList<UnreadableFile>{{hang1, UnreadableReason::TimedOut},
                                                             {hang2, UnreadableReason::TimedOut}}));
    const QString broken = invariants.violations();
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

void TestHostileConverter::misbehavingConverters_data()
{
    QTest::addColumn<QString>("directive");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<bool>("reported");
    // Dies after writing "first@x.com second@example.com" of the text: what a crashed
    // converter left is not the file's text and must not give "second@example.com".
    QTest::newRow("crash half-way") << u"CRASH 30"_s << QByteArray("first@x.com second@example.community\n")
                                    << QStringList() << true;
    QTest::newRow("crash before writing") << u"CRASH 0"_s << QByteArray("first@x.com\n") << QStringList() << true;
    // Binary garbage for text: NULs, control bytes, bytes that are no UTF-8.
    QByteArray garbage(256 * 1024, Qt::Uninitialized);
    QRandomGenerator(11).fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);
    garbage.insert(100000, QByteArray(1, '\0') + "\xff glued@x.com \x01\x02");
    QTest::newRow("garbage for text") << u"TEXT"_s << garbage << QStringList{u"glued@x.com"_s} << false;
    QTest::newRow("flood of messages") << u"NOISY 16"_s << QByteArray("noisy@x.com\n")
                                       << QStringList{u"noisy@x.com"_s} << false;
}

void TestHostileConverter::misbehavingConverters()
{
    QFETCH(QString, directive);
    QFETCH(QByteArray, text);
    QFETCH(QStringList, addresses);
    QFETCH(bool, reported);
    const QString odd = pdf(u"odd.pdf"_s, directive, text);
    const QString good = pdf(u"good.pdf"_s, u"TEXT"_s, "good@x.com\n");
    const test::RunInvariants invariants(m_input->path(), m_workspace->workFolder(), m_fake.get());
    Host host;
    BatchRun batch(*m_workspace, host, {odd, good});
    batch.setParallelJobs(2);
    QStringList found;
    connect(&batch, &BatchRun::addressesFound, this, [&](const QStringList &f) { found += f; });
    QSignalSpy finished(&batch, &BatchRun::finished);
    batch.start();
    QVERIFY(finished.wait(30000));
    QCOMPARE(found, addresses + QStringList{u"good@x.com"_s});
    if (reported)
        QCOMPARE(batch.unreadableFiles(), (QList<UnreadableFile>{{odd, UnreadableReason::Protected}}));
    else
        QCOMPARE(batch.unreadableFiles(), QList<UnreadableFile>());
    const QString broken = invariants.violations();
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

QTEST_GUILESS_MAIN(TestHostileConverter)
#include "tst_hostileconverter.moc"
