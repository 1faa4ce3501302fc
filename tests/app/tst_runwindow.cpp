#include "RunInvariants.h"
#include "WindowTest.h"
#include "app/BusyPointer.h"
#include "app/RunController.h"
#include "app/TextListModel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <csignal>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

class TestRunWindow : public test::WindowTest
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void emptyListSaysSo();
    void runFillsResultsAndSummarises();
    void secondPressDuringARunDoesNothing();
    void closingLeavesNothingBehind_data();
    void closingLeavesNothingBehind();

private:
};

void TestRunWindow::init()
{
    QVERIFY(setUpParts());
    QVERIFY(openWindow({}, [] { return 1; }));
}

void TestRunWindow::cleanup()
{
    tearDownParts();
}

void TestRunWindow::emptyListSaysSo()
{
    press("PushButton2");
    QCOMPARE(m_modal->shownOf(u"message"_s).size(), 1);
    QCOMPARE(m_modal->shown.last().text, u"No files added."_s);
    QCOMPARE(m_modal->shown.last().title, u"Pelmora"_s);
    QVERIFY(!m_window->runController().RunInProgress());
}

void TestRunWindow::runFillsResultsAndSummarises()
{
    const QString a = m_engine->writePdf(u"a.pdf"_s, u"TEXT"_s, "Mail (first@x.com), second@x.com.\n");
    const QString locked = m_engine->writePdf(u"locked.pdf"_s, u"NEEDS pw"_s, "hidden@x.com\n");
    m_window->appendPaths({a, locked});
    press("PushButton2");
    QTRY_COMPARE(m_modal->shownOf(u"message"_s).size(), 1);
    QCOMPARE(m_window->resultsList().texts(), (QStringList{u"first@x.com"_s, u"second@x.com"_s}));
    QCOMPARE(m_modal->shown.last().text, u"Done.\r\nThe following files could not be read:\r\n"_s + locked +
                                             u"  - password protected or text is protected."_s);
    QVERIFY(!m_window->runController().RunInProgress());
    QVERIFY(!m_window->resultsList().isChecked(0));
}

void TestRunWindow::secondPressDuringARunDoesNothing()
{
    m_window->appendPaths({m_engine->writePdf(u"slow.pdf"_s, u"SLEEP 1"_s, "slow@x.com\n")});
    press("PushButton2");
    QVERIFY(m_window->runController().RunInProgress());
    press("PushButton2");
    QTRY_COMPARE_WITH_TIMEOUT(m_modal->shownOf(u"message"_s).size(), 1, 10000);
    QCOMPARE(m_engine->fake->loggedCalls().size(), 1);
    QCOMPARE(m_window->resultsList().texts(), QStringList{u"slow@x.com"_s});
}

void TestRunWindow::closingLeavesNothingBehind_data()
{
    QTest::addColumn<QString>("busyWith");
    QTest::newRow("idle") << QString();
    QTest::newRow("during a run") << u"run"_s;
    QTest::newRow("during a preview") << u"preview"_s;
    QTest::newRow("during a folder scan") << u"scan"_s;
}

void TestRunWindow::closingLeavesNothingBehind()
{
    QFETCH(QString, busyWith);
    QStringList pdfs;
    for (int i = 0; i < 3; ++i)
        pdfs << m_engine->writePdf(u"s%1.pdf"_s.arg(i), u"SLEEP 60"_s, "s@x.com\n");
    m_window->appendPaths(pdfs);

    // What is there just before the window closes.
    QString work;
    QByteArray storedBefore;
    bool converterBefore = false;
    qint64 closingTook = -1;
    auto closeNow = [&] {
        work = m_engine->workspace->workFolder();
        converterBefore = QFileInfo::exists(m_engine->workspace->ConverterPath());
        QFile store(m_settings->fileName());
        if (store.open(QIODevice::ReadOnly))
            storedBefore = store.readAll();
        QElapsedTimer closing;
        closing.start();
        m_window->close();
        closingTook = closing.elapsed();
    };

    if (busyWith == u"run"_s) {
        press("PushButton2");
        QTRY_VERIFY(!m_engine->fake->loggedCalls().isEmpty());
        QVERIFY(m_window->runController().RunInProgress());
        closeNow();
    } else if (busyWith == u"preview"_s) {
        auto *list = m_window->findChild<QTreeView *>(u"ListView1"_s);
        QVERIFY(list);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(m_window->fileList().index(1)).center());
        QTRY_VERIFY(!m_engine->fake->loggedCalls().isEmpty());
        QVERIFY(QGuiApplication::overrideCursor()); // the preview's busy pointer
        closeNow();
    } else if (busyWith == u"scan"_s) {
        // The window closes from the event loop that the walk turns once per folder.
        QTemporaryDir tree;
        for (int i = 0; i < 50; ++i) {
            QVERIFY(QDir(tree.path()).mkpath(u"f%1"_s.arg(i)));
            QFile(tree.filePath(u"f%1/x.pdf"_s.arg(i))).open(QIODevice::WriteOnly);
        }
        m_modal->textAnswers.enqueue(tree.path());
        bool closedDuringScan = false;
        m_modal->whileShown = [&](const test::ScriptedModal::Shown &shown) {
            if (shown.kind == u"folder"_s)
                QTimer::singleShot(0, m_window.get(), [&] {
                    closedDuringScan = BusyPointer::isBusy();
                    closeNow();
                });
        };
        press("PushButton4");
        QVERIFY(closedDuringScan);
        QCOMPARE(m_window->fileList().texts(), pdfs); // the scan appended nothing
        m_modal->shown.clear();
    } else {
        closeNow();
    }

    QVERIFY(converterBefore);
    QVERIFY(!work.isEmpty());
    QVERIFY(closingTook >= 0 && closingTook < 5000); // at once, not after the slow converters
    QVERIFY(!m_window->isVisible());
    for (const qint64 pid : m_engine->fake->loggedPids())
        QTRY_VERIFY(!test::ProcessIsRunning(pid));
    QVERIFY(!QFileInfo::exists(m_engine->workspace->ConverterPath()));
    QCOMPARE(QDir(work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    // Beside the PDFs nothing is left either.
    QStringList expected;
    for (const QString &pdf : pdfs)
        expected << QFileInfo(pdf).fileName();
    expected.sort();
    QCOMPARE(QDir(m_engine->input.path())
                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name),
             expected);
    QVERIFY(m_modal->shown.isEmpty()); // no summary for a run cut short
    QVERIFY(!QGuiApplication::overrideCursor());
    // Nothing is stored at shutdown.
    QFile store(m_settings->fileName());
    QVERIFY(store.open(QIODevice::ReadOnly));
    QCOMPARE(store.readAll(), storedBefore);
}

QTEST_MAIN(TestRunWindow)
#include "tst_runwindow.moc"
