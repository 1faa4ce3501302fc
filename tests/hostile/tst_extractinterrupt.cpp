// pelmora-extract against a conversion that does not end: the real converter's workers
// (either engine) on a page that keeps them busy for long.
// --timeout ends the conversion and reports the file; SIGINT and SIGTERM end the command
// with 130; SIGKILL ends it at once, and its workers with it. Either way the input is
// unchanged and no converter left.
#include "RunInvariants.h"
#include "TestData.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

class TestExtractInterrupt : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void timeoutEndsTheConversion_data();
    void timeoutEndsTheConversion();
    void signalsEndTheCommand_data();
    void signalsEndTheCommand();
    void signalsEndTheReadingOfLists_data();
    void signalsEndTheReadingOfLists();

private:
    // The command on `inputs`, converting with the engine of the current data row (none:
    // the default one).
    void start(QProcess &process, const QStringList &arguments) const;

    QTemporaryDir m_busyFolder;
    QString m_busy;
    std::unique_ptr<QTemporaryDir> m_input;
    std::unique_ptr<QTemporaryDir> m_temp;
    QString m_hang;
    QString m_good;
};

void TestExtractInterrupt::initTestCase()
{
    m_busy = m_busyFolder.filePath(u"busy.pdf"_s);
    QVERIFY(test::WriteBusyPdf(m_busy, 60000));
}

void TestExtractInterrupt::init()
{
    m_input = std::make_unique<QTemporaryDir>();
    m_temp = std::make_unique<QTemporaryDir>();
    m_hang = m_input->filePath(u"busy.pdf"_s);
    QVERIFY(QFile::copy(m_busy, m_hang));
    m_good = m_input->filePath(u"good.pdf"_s);
    QVERIFY(QFile::copy(test::dataFile(u"contacts-2.pdf"_s), m_good));
}

void TestExtractInterrupt::cleanup()
{
    m_temp.reset();
    m_input.reset();
}

void TestExtractInterrupt::start(QProcess &process, const QStringList &arguments) const
{
    QFETCH(QString, engine);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TMPDIR"_s, m_temp->path());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(PELMORA_EXTRACT_COMMAND),
                  (engine.isEmpty() ? QStringList() : QStringList{u"--engine"_s, engine}) + arguments);
    QVERIFY(process.waitForStarted());
}

void TestExtractInterrupt::timeoutEndsTheConversion_data()
{
    QTest::addColumn<QString>("engine");
    for (const QString &engine : test::EngineNames())
        QTest::addRow("service with %s, a busy page", qPrintable(engine)) << engine;
}

void TestExtractInterrupt::timeoutEndsTheConversion()
{
    const test::RunInvariants invariants(m_input->path());
    QProcess process;
    start(process, {u"--timeout"_s, u"1"_s, u"--jobs"_s, u"1"_s, m_hang, m_good});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(process.readAllStandardOutput().startsWith("sales@example.com\n")); // contacts-2.pdf has more
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
             u"The following files could not be read:\n"_s + m_hang +
                 u"  - took too long and was stopped: page 1 was not read within 1 s.\n"_s);
    const QString broken = invariants.violations();
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

void TestExtractInterrupt::signalsEndTheCommand_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<int>("signal");
    for (const QString &engine : test::EngineNames()) {
        const QByteArray kind = "service with " + engine.toUtf8();
        QTest::addRow("%s, SIGINT", kind.constData()) << engine << SIGINT;
        QTest::addRow("%s, SIGTERM", kind.constData()) << engine << SIGTERM;
        // Killed outright, the command reaches no one; its workers die with it.
        QTest::addRow("%s, SIGKILL", kind.constData()) << engine << SIGKILL;
    }
}

void TestExtractInterrupt::signalsEndTheCommand()
{
    QFETCH(int, signal);
    const test::RunInvariants invariants(m_input->path());
    QProcess process;
    start(process, {u"--jobs"_s, u"2"_s, m_good, m_hang});
    QTRY_VERIFY(!test::RunningWorkers().isEmpty());
    // The good file, first on the line, is written out as soon as it is read; with no
    // limit set, the command then still waits for the busy one.
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += process.readAllStandardOutput()).startsWith("sales@example.com\n"),
                             30000);
    QCOMPARE(process.state(), QProcess::Running);
    QCOMPARE(::kill(static_cast<pid_t>(process.processId()), signal), 0);
    QVERIFY(process.waitForFinished(10000));
    if (signal == SIGKILL) {
        // Nothing of the command could run: its workers die with it, within a second.
        QCOMPARE(process.exitStatus(), QProcess::CrashExit);
        QTRY_VERIFY_WITH_TIMEOUT(test::RunningWorkers().isEmpty(), 1000);
        // Nothing the killed one left stands in the next start's way.
        QProcess next;
        start(next, {m_good});
        QVERIFY(next.waitForFinished(30000));
        QCOMPARE(next.exitCode(), 0);
    } else {
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 130);
    }
    const QString broken = invariants.violations();
    QVERIFY2(broken.isEmpty(), qPrintable(broken));
}

void TestExtractInterrupt::signalsEndTheReadingOfLists_data()
{
    // Before anything is converted the command may wait for ever: a list, a part or a
    // password file that is a FIFO no one writes, or standard input left open. Ctrl+C and
    // SIGTERM end it there at once, as nothing needs cleaning up yet.
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("option");
    QTest::addColumn<bool>("fromInput");
    QTest::addColumn<int>("signal");
    for (const int signal : {SIGINT, SIGTERM}) {
        const char *name = signal == SIGINT ? "SIGINT" : "SIGTERM";
        QTest::addRow("--files-from FIFO, %s", name) << QString() << u"--files-from"_s << false << signal;
        QTest::addRow("--files-from -, %s", name) << QString() << u"--files-from"_s << true << signal;
        QTest::addRow("--merge FIFO, %s", name) << QString() << u"--merge"_s << false << signal;
        QTest::addRow("--password-file FIFO, %s", name)
            << QString() << u"--password-file"_s << false << signal;
    }
}

void TestExtractInterrupt::signalsEndTheReadingOfLists()
{
    QFETCH(QString, option);
    QFETCH(bool, fromInput);
    QFETCH(int, signal);
    const QString fifo = m_input->filePath(u"list"_s);
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QProcess process;
    start(process, {option, fromInput ? u"-"_s : fifo, m_good});
    // Waiting in the system: opening the FIFO (openat, 257) or reading (read, 0).
    const QString syscall = u"/proc/%1/syscall"_s.arg(process.processId());
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const QByteArray now = test::readFile(syscall);
            return now.startsWith("257 ") || now.startsWith("0 ");
        }(),
        10000);
    QCOMPARE(::kill(static_cast<pid_t>(process.processId()), signal), 0);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::CrashExit); // ended by the signal itself
}

QTEST_GUILESS_MAIN(TestExtractInterrupt)
#include "tst_extractinterrupt.moc"
