// pelmora-extract against a converter that never ends: --timeout ends the conversion
// and reports the file; SIGINT and SIGTERM end the command with 130. Either way the
// input is unchanged, the private temporary folder empty and no converter left.
#include "FakeConverter.h"
#include "RunInvariants.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

class TestExtractInterrupt : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void timeoutEndsTheConversion();
    void signalsEndTheCommand_data();
    void signalsEndTheCommand();

private:
    void start(QProcess &process, const QStringList &arguments) const;
    QString privateFolder() const { return m_temp->filePath(u"pelmora-%1"_s.arg(::getuid())); }

    std::unique_ptr<test::FakeConverter> m_fake;
    std::unique_ptr<QTemporaryDir> m_input;
    std::unique_ptr<QTemporaryDir> m_temp;
    QString m_hang;
    QString m_good;
};

void TestExtractInterrupt::init()
{
    m_fake = std::make_unique<test::FakeConverter>();
    m_input = std::make_unique<QTemporaryDir>();
    m_temp = std::make_unique<QTemporaryDir>();
    m_hang = test::FakeConverter::writePdfIn(m_input->path(), u"hang.pdf"_s, u"HANG"_s, "never@x.com\n");
    m_good = test::FakeConverter::writePdfIn(m_input->path(), u"good.pdf"_s, u"TEXT"_s, "good@x.com\n");
}

void TestExtractInterrupt::cleanup()
{
    m_temp.reset();
    m_input.reset();
    m_fake.reset();
}

void TestExtractInterrupt::start(QProcess &process, const QStringList &arguments) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment(); // the fake first on PATH
    environment.insert(u"TMPDIR"_s, m_temp->path());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(PELMORA_EXTRACT_COMMAND), arguments);
    QVERIFY(process.waitForStarted());
}

void TestExtractInterrupt::timeoutEndsTheConversion()
{
    const test::RunInvariants invariants(m_input->path(), privateFolder(), m_fake.get());
    QProcess process;
    start(process, {u"--timeout"_s, u"1"_s, u"--jobs"_s, u"1"_s, m_hang, m_good});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(process.readAllStandardOutput(), QByteArray("good@x.com\n"));
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
             u"The following files could not be read:\n"_s + m_hang +
                 u"  - conversion took too long and was stopped.\n"_s);
    QVERIFY(QDir(privateFolder()).exists()); // it was used, and is left empty
    const QString broken = invariants.violations();
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

void TestExtractInterrupt::signalsEndTheCommand_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
}

void TestExtractInterrupt::signalsEndTheCommand()
{
    QFETCH(int, signal);
    const test::RunInvariants invariants(m_input->path(), privateFolder(), m_fake.get());
    QProcess process;
    start(process, {u"--jobs"_s, u"2"_s, m_good, m_hang});
    QTRY_COMPARE(m_fake->loggedPids().size(), 3); // two converters and the helper of one
    QTest::qWait(300);
    QCOMPARE(process.state(), QProcess::Running); // no limit: it waits for ever
    QCOMPARE(::kill(static_cast<pid_t>(process.processId()), signal), 0);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 130);
    QVERIFY(QDir(privateFolder()).exists()); // it was used, and is left empty
    const QString broken = invariants.violations();
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

QTEST_GUILESS_MAIN(TestExtractInterrupt)
#include "tst_extractinterrupt.moc"
