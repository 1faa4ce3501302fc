// The window killed with SIGKILL in the middle of a run: whatever converted for it dies
// within a second.
#include "RunInvariants.h"
#include "TestData.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

class TestKilledWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void nothingOutlivesTheWindow();

private:
    QTemporaryDir m_input;
    QString m_busy;
};

void TestKilledWindow::initTestCase()
{
    m_busy = m_input.filePath(u"busy.pdf"_s);
    QVERIFY(test::WriteBusyPdf(m_busy, 60000));
}

void TestKilledWindow::nothingOutlivesTheWindow()
{
    QTemporaryDir temp;
    QProcess window;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TMPDIR"_s, temp.path());
    window.setProcessEnvironment(environment);
    window.start(QStringLiteral(PELMORA_WINDOW_VICTIM), {test::ServiceProgram(), m_busy, m_busy});
    QVERIFY(window.waitForStarted());

    // Two conversions under way, on two cores: the window and the processes it started.
    QList<qint64> tree;
    QTRY_VERIFY((tree = test::ProcessTree(window.processId())).size() >= 3);
    QCOMPARE(::kill(static_cast<pid_t>(window.processId()), SIGKILL), 0);
    QVERIFY(window.waitForFinished(5000));
    for (const qint64 pid : tree)
        QTRY_VERIFY_WITH_TIMEOUT(!test::ProcessIsRunning(pid), 1000);
}

QTEST_GUILESS_MAIN(TestKilledWindow)
#include "tst_killedwindow.moc"
