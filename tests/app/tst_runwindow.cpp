#include "RunInvariants.h"
#include "TestData.h"
#include "WindowTest.h"
#include "app/BusyState.h"
#include "app/CaptionProgressBar.h"
#include "app/ResultsController.h"
#include "app/RunController.h"
#include "app/TextListModel.h"
#include "app/WidgetModal.h"
#include "cache/ResultsCache.h"
#include "run/PasswordPrompt.h"
#include "run/RunReport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
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
    void stopKeepsWhatIsListed();
    void stopIsAskedAndCanBeDeclined();
    void runEndingWhileAskedWaitsForTheAnswer_data();
    void runEndingWhileAskedWaitsForTheAnswer();
    void promptsOnlyForProtectedFiles_data();
    void promptsOnlyForProtectedFiles();
    void stopFromAPrompt();
    void passwordTypingIsHidden();
    void scannedFilesAreReadOnRequest_data();
    void scannedFilesAreReadOnRequest();
    void stopEndsTheReadingOfScans();
    void addressRulesComeFromTheSettings_data();
    void addressRulesComeFromTheSettings();
    void cachedRunsSaveTheSameFiles();
    void unusableCacheIsNamed();
    void hiddenFilesLeftOutAreCounted();
    void patternsThatAreNoDomainAreSaid();

private:
    QPushButton *startButton() const { return control<QPushButton>("PushButton2"); }
    // 200 files of one address each; the 51st waits until released.
    QStringList slowRun();
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
    QVERIFY(!m_window->runController().runInProgress());
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
    QVERIFY(!m_window->runController().runInProgress());
    QVERIFY(!m_window->resultsList().isChecked(0));
}

void TestRunWindow::secondPressDuringARunDoesNothing()
{
    const QString slow = m_engine->writePdf(u"slow.pdf"_s, u"WAIT"_s, "slow@x.com\n");
    m_window->appendPaths({slow});
    press("PushButton2");
    QVERIFY(m_window->runController().runInProgress());
    QTRY_COMPARE(m_engine->fake->loggedCalls().size(), 1);
    press("PushButton2");
    QVERIFY(m_engine->release(slow));
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
    QByteArray storedBefore;
    bool converterBefore = false;
    qint64 closingTook = -1;
    auto closeNow = [&] {
        converterBefore = QFileInfo::exists(m_engine->workspace->converterPath());
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
        QVERIFY(m_window->runController().runInProgress());
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
                    closedDuringScan = m_window->busyState().isBusy();
                    closeNow();
                });
        };
        press("PushButton4");
        QTRY_VERIFY(closedDuringScan);
        QCOMPARE(m_window->fileList().texts(), pdfs); // the scan appended nothing
        m_modal->shown.clear();
    } else {
        closeNow();
    }

    QVERIFY(converterBefore);
    QVERIFY(closingTook >= 0 && closingTook < 5000); // at once, not after the slow converters
    QVERIFY(!m_window->isVisible());
    QTRY_VERIFY(m_engine->allConvertersGone());
    // Beside the PDFs nothing is left.
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

QStringList TestRunWindow::slowRun()
{
    QStringList pdfs;
    for (int i = 0; i < 200; ++i)
        pdfs << m_engine->writePdf(u"f%1.pdf"_s.arg(i, 3, 10, QChar(u'0')), i == 50 ? u"WAIT"_s : u"TEXT"_s,
                                   "file" + QByteArray::number(i) + "@x.com\f");
    return pdfs;
}

void TestRunWindow::stopKeepsWhatIsListed()
{
    const QStringList pdfs = slowRun();
    m_window->appendPaths(pdfs);
    press("PushButton2");
    QCOMPARE(startButton()->text(), u"Stop Extracting"_s);
    // The files before the waiting one are all listed; the run waits on it.
    QTRY_COMPARE(m_window->resultsList().rowCount(), 50);
    m_engine->clock.advance(600);
    m_modal->yesNoAnswers.enqueue(true);
    press("PushButton2");
    const QList<test::ScriptedModal::Shown> asked = m_modal->shownOf(u"yesno"_s);
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.first().text, u"Stop extracting? The addresses found so far stay in the results list."_s);
    QCOMPARE(asked.first().title, u"Pelmora"_s);
    QTRY_COMPARE(m_modal->shownOf(u"message"_s).size(), 1);
    QCOMPARE(m_modal->shownOf(u"message"_s).first().text, u"Stopped after 50 of 200 files."_s);
    // What the full run lists first, in its order.
    QStringList prefix;
    for (int i = 0; i < 50; ++i)
        prefix << u"file%1@x.com"_s.arg(i);
    QCOMPARE(m_window->resultsList().texts(), prefix);
    QCOMPARE(startButton()->text(), u"Start Extracting"_s);
    QVERIFY(!m_window->runController().runInProgress());
    QVERIFY(!m_window->busyState().isBusy());
    QTRY_VERIFY(m_engine->allConvertersGone());

    // The next run starts afresh, with workers of its own.
    QVERIFY(m_engine->release(pdfs[50]));
    press("PushButton2");
    QTRY_COMPARE(m_modal->shownOf(u"message"_s).size(), 2);
    QCOMPARE(m_modal->shownOf(u"message"_s).last().text, u"Done."_s);
    QCOMPARE(m_window->resultsList().rowCount(), 250);
}

void TestRunWindow::stopIsAskedAndCanBeDeclined()
{
    const QStringList pdfs = slowRun();
    m_window->appendPaths(pdfs);
    press("PushButton2");
    // A double-click: its second press comes right after the first, and stops nothing.
    m_engine->clock.advance(300);
    press("PushButton2");
    QVERIFY(m_modal->shownOf(u"yesno"_s).isEmpty());
    // Later, the user is asked, says No, and the run goes on to its end.
    m_engine->clock.advance(300);
    m_modal->yesNoAnswers.enqueue(false);
    press("PushButton2");
    QCOMPARE(m_modal->shownOf(u"yesno"_s).size(), 1);
    QVERIFY(m_window->runController().runInProgress());
    QCOMPARE(startButton()->text(), u"Stop Extracting"_s);
    QVERIFY(m_engine->release(pdfs[50]));
    QTRY_COMPARE(m_modal->shownOf(u"message"_s).size(), 1);
    QCOMPARE(m_modal->shownOf(u"message"_s).first().text, u"Done."_s);
    QCOMPARE(m_window->resultsList().rowCount(), 200);
}

void TestRunWindow::runEndingWhileAskedWaitsForTheAnswer_data()
{
    QTest::addColumn<bool>("stop");
    QTest::newRow("Yes") << true;
    QTest::newRow("No") << false;
}

void TestRunWindow::runEndingWhileAskedWaitsForTheAnswer()
{
    QFETCH(bool, stop);
    const QStringList pdfs = slowRun();
    m_window->appendPaths(pdfs);
    press("PushButton2");
    QTRY_COMPARE(m_window->resultsList().rowCount(), 50);
    m_engine->clock.advance(600);
    m_modal->holdNextAnswer = true;
    m_modal->yesNoAnswers.enqueue(stop);
    press("PushButton2");
    QCOMPARE(m_modal->shownOf(u"yesno"_s).size(), 1);
    // The run ends while the question is open: its closing message waits for the answer.
    QVERIFY(m_engine->release(pdfs[50]));
    QTRY_COMPARE(m_window->resultsList().rowCount(), 200);
    QTRY_COMPARE(control<CaptionProgressBar>("ProgressBar1")->caption(), u"Progress Bar"_s); // at its end
    QCoreApplication::processEvents(); // which is told from the event loop
    QVERIFY(m_modal->shownOf(u"message"_s).isEmpty());
    QVERIFY(m_window->runController().runInProgress());
    m_modal->answerHeld();
    // Nothing was left to stop, whatever the answer.
    QTRY_COMPARE(m_modal->shownOf(u"message"_s).size(), 1);
    QCOMPARE(m_modal->shownOf(u"message"_s).first().text, u"Done."_s);
    QCOMPARE(startButton()->text(), u"Start Extracting"_s);
    QVERIFY(!m_window->runController().runInProgress());
}

void TestRunWindow::promptsOnlyForProtectedFiles_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QStringList>("directives"); // of the five files
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("prompts"); // file names, "*" for all files
    QTest::addColumn<int>("found");
    const QStringList mixed{u"TEXT"_s, u"NEEDS a"_s, u"TEXT"_s, u"NEEDS a"_s, u"TEXT"_s};
    QTest::newRow("per file") << QStringList{u"Check1"_s} << mixed << QStringList{u"a"_s, u"a"_s}
                              << QStringList{u"f1"_s, u"f3"_s} << 5;
    QTest::newRow("same for all") << QStringList{u"Check1"_s, u"Option6"_s} << mixed << QStringList{u"a"_s}
                                  << QStringList{u"*"_s} << 5;
    const QStringList open(5, u"TEXT"_s);
    QTest::newRow("same for all, nothing protected")
        << QStringList{u"Check1"_s, u"Option6"_s} << open << QStringList() << QStringList() << 5;
    QTest::newRow("unticked") << QStringList() << mixed << QStringList() << QStringList() << 3;
}

void TestRunWindow::promptsOnlyForProtectedFiles()
{
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, directives);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, prompts);
    QFETCH(int, found);
    for (const QString &name : clicks) {
        auto *widget = m_window->findChild<QWidget *>(name);
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(8, widget->height() / 2));
    }
    QStringList pdfs;
    for (int i = 0; i < directives.size(); ++i)
        pdfs << m_engine->writePdf(u"f%1.pdf"_s.arg(i), directives[i],
                                   "f" + QByteArray::number(i) + "@x.com\f");
    m_window->appendPaths(pdfs);
    for (const QString &answer : answers)
        m_modal->textAnswers.enqueue(answer);
    press("PushButton2");
    QTRY_COMPARE(m_modal->shownOf(u"message"_s).size(), 1);
    QStringList asked;
    for (const test::ScriptedModal::Shown &prompt : m_modal->shownOf(u"input"_s))
        asked << (prompt.text == PasswordPromptText(PasswordPrompt::ForAllFiles, {})
                      ? u"*"_s
                      : QFileInfo(prompt.text.section(u'(', 1).section(u')', 0, 0)).baseName());
    QCOMPARE(asked, prompts);
    QCOMPARE(m_window->resultsList().rowCount(), found);
}

void TestRunWindow::stopFromAPrompt()
{
    QStringList pdfs;
    for (int i = 0; i < 4; ++i)
        pdfs << m_engine->writePdf(u"f%1.pdf"_s.arg(i), i == 2 ? u"NEEDS a"_s : u"TEXT"_s,
                                   "f" + QByteArray::number(i) + "@x.com\f");
    m_window->appendPaths(pdfs);
    control<QCheckBox>("Check1")->click();
    m_modal->textAnswers.enqueue(test::ScriptedModal::stopAnswer);
    press("PushButton2");
    QTRY_COMPARE(m_modal->shownOf(u"message"_s).size(), 1);
    QCOMPARE(m_modal->shownOf(u"input"_s).size(), 1);
    // The files done before the stop, each with its one address, and nothing after them;
    // the second may have been under way, its page listed as it came.
    const QStringList listed = m_window->resultsList().texts();
    QVERIFY(listed.size() >= 1 && listed.size() <= 2);
    QCOMPARE(listed, (QStringList{u"f0@x.com"_s, u"f1@x.com"_s}.first(listed.size())));
    const QString stopped = m_modal->shownOf(u"message"_s).first().text;
    QVERIFY2(stopped == u"Stopped after %1 of 4 files."_s.arg(listed.size()) ||
                 stopped == u"Stopped after %1 of 4 files."_s.arg(listed.size() - 1),
             qPrintable(stopped));
    QCOMPARE(startButton()->text(), u"Start Extracting"_s);
}

void TestRunWindow::passwordTypingIsHidden()
{
    // The real dialog: dots while typing, the words on request, and a way to stop.
    WidgetModal modal(m_window.get());
    std::optional<QString> answer = u"untouched"_s;
    QTimer::singleShot(0, this, [&] {
        QDialog *dialog = nullptr;
        QTRY_VERIFY((dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())));
        auto *field = dialog->findChild<QLineEdit *>(u"password"_s);
        auto *show = dialog->findChild<QCheckBox *>(u"showPassword"_s);
        QVERIFY(field && show);
        QCOMPARE(show->text(), u"Show password"_s);
        QCOMPARE(field->echoMode(), QLineEdit::Password);
        QTest::keyClicks(field, u"s3cret"_s);
        show->click();
        QCOMPARE(field->echoMode(), QLineEdit::Normal);
        show->click();
        QCOMPARE(field->echoMode(), QLineEdit::Password);
        dialog->findChild<QPushButton *>(u"stopExtracting"_s)->click();
    });
    bool answered = false;
    const auto take = [&](const std::optional<QString> &typed) {
        answer = typed;
        answered = true;
    };
    modal.inputPassword(PasswordPromptTitle(), PasswordPromptText(PasswordPrompt::ForAllFiles, {}), take);
    QTRY_VERIFY(answered);
    QCOMPARE(answer, std::nullopt);
    QTimer::singleShot(0, this, [&] {
        QDialog *dialog = nullptr;
        QTRY_VERIFY((dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())));
        QTest::keyClicks(dialog->findChild<QLineEdit *>(u"password"_s), u"s3cret"_s);
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    answered = false;
    modal.inputPassword(PasswordPromptTitle(), QString(), take);
    QTRY_VERIFY(answered);
    QCOMPARE(answer, std::optional<QString>(u"s3cret"_s));
}

void TestRunWindow::scannedFilesAreReadOnRequest_data()
{
    QTest::addColumn<bool>("read");
    QTest::newRow("read the scans") << true;
    QTest::newRow("OK only") << false;
}

void TestRunWindow::scannedFilesAreReadOnRequest()
{
    QFETCH(bool, read);
    const QString text = m_engine->writePdf(u"text.pdf"_s, u"TEXT"_s, "a@x.com b@x.com\f");
    const QString scan = m_engine->writePdf(u"scan.pdf"_s, u"SCAN"_s, "Scan b@X.com\fc@x.com\f");
    const QString locked = m_engine->writePdf(u"locked.pdf"_s, u"NEEDS pw"_s, "d@x.com\f");
    const QString blank = m_engine->writePdf(u"blank.pdf"_s, u"SCAN"_s, "\f");
    m_window->appendPaths({text, scan, locked, blank});
    m_modal->actionAnswers.enqueue(read);
    press("PushButton2");
    QTRY_VERIFY(!m_modal->shownOf(u"message"_s).isEmpty());
    const test::ScriptedModal::Shown closing = m_modal->shownOf(u"message"_s).first();
    QCOMPARE(closing.action, u"Read Scanned Files (OCR)"_s);
    QCOMPARE(closing.text, SummaryMessage({{scan, UnreadableReason::TextUnreadable},
                                           {locked, UnreadableReason::Protected},
                                           {blank, UnreadableReason::TextUnreadable}}));
    if (!read) {
        QCoreApplication::processEvents(); // anything the answer set going

        QCOMPARE(m_modal->shownOf(u"message"_s).size(), 1);
        QCOMPARE(m_window->resultsList().texts(), (QStringList{u"a@x.com"_s, u"b@x.com"_s}));
        QVERIFY(!m_window->runController().runInProgress());
        return;
    }
    // Exactly the scans are read, and their new addresses come after the run's, in row
    // order; one met already in another letter case is not listed again.
    QTRY_COMPARE(m_modal->shownOf(u"message"_s).size(), 2);
    const test::ScriptedModal::Shown second = m_modal->shownOf(u"message"_s).last();
    QCOMPARE(second.text, SummaryMessage({{blank, UnreadableReason::TextUnreadable}}));
    QVERIFY(second.action.isEmpty());
    QCOMPARE(m_window->resultsList().texts(), (QStringList{u"a@x.com"_s, u"b@x.com"_s, u"c@x.com"_s}));
    QCOMPARE(m_window->resultsList().sources().last().page, 2);
    QCOMPARE(m_window->resultsList().index(2).data(Qt::ToolTipRole).toString(),
             u"First found in "_s + scan + u", page 2 (read from a scanned page)"_s);
    const QStringList recognised = m_engine->fake->loggedCalls().filter(u"ocr=1"_s);
    QCOMPARE(recognised.size(), 2);
    QCOMPARE(recognised.filter(scan).size() + recognised.filter(blank).size(), 2);
    QCOMPARE(startButton()->text(), u"Start Extracting"_s);
    QVERIFY(!m_window->runController().runInProgress());
}

void TestRunWindow::addressRulesComeFromTheSettings_data()
{
    QTest::addColumn<QString>("anyDomain");
    QTest::addColumn<QString>("disguised");
    QTest::addColumn<QString>("links");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<bool>("linksAsked");
    QTest::newRow("never set") << QString() << QString() << QString() << QStringList{u"a@x.com"_s} << true;
    QTest::newRow("any domain") << u"True"_s << u"0"_s << u"True"_s
                                << QStringList{u"ver@array.sty"_s, u"a@x.com"_s} << true;
    QTest::newRow("disguised, no links")
        << u"False"_s << u"1"_s << u"False"_s << QStringList{u"a@x.com"_s, u"jane@example.org"_s} << false;
    QTest::newRow("no booleans") << u"maybe"_s << u"often"_s << u"never"_s << QStringList{u"a@x.com"_s}
                                 << true;
}

void TestRunWindow::addressRulesComeFromTheSettings()
{
    QFETCH(QString, anyDomain);
    QFETCH(QString, disguised);
    QFETCH(QString, links);
    QFETCH(QStringList, addresses);
    QFETCH(bool, linksAsked);
    if (!anyDomain.isEmpty()) {
        m_settings->write(Settings::anyDomainKey(), anyDomain);
        m_settings->write(Settings::disguisedKey(), disguised);
        m_settings->write(Settings::linksKey(), links);
    }
    const QString pdf =
        m_engine->writePdf(u"a.pdf"_s, u"TEXT"_s, "ver@array.sty a@x.com\njane [at] example [dot] org\f");
    m_window->appendPaths({pdf});
    press("PushButton2");
    QTRY_COMPARE(m_modal->shownOf(u"message"_s).size(), 1);
    QCOMPARE(m_window->resultsList().texts(), addresses);
    // The mailto: links are asked of the converter unless the settings say no.
    const QStringList calls = m_engine->fake->loggedCalls();
    QCOMPARE(calls.filter(linksAsked ? u" links=1"_s : u" links=0"_s).size(), calls.size());
    QVERIFY(!calls.isEmpty());
    const QString where = u"First found in "_s + pdf + u", page 1"_s;
    QCOMPARE(m_window->resultsList().index(0).data(Qt::ToolTipRole).toString(), where);
    if (addresses.contains(u"jane@example.org"_s))
        QCOMPARE(m_window->resultsList().index(1).data(Qt::ToolTipRole).toString(),
                 where + u" (written in disguise)"_s);
}

void TestRunWindow::cachedRunsSaveTheSameFiles()
{
    // The window's cache starts out damaged: it is set aside without a word, and the next
    // run begins a new one.
    const QString database = ResultsCache::databasePath(m_engine->temp.filePath(u"cache"_s));
    QVERIFY(QDir().mkpath(QFileInfo(database).path()) && test::writeFile(database, QByteArray(9000, 'Z')));
    m_window->appendPaths(
        {m_engine->writePdf(u"a.pdf"_s, u"TEXT"_s, "Mail First@x.com, second@x.com\fb@x.com\f"),
         m_engine->writePdf(u"broken.pdf"_s, u"NOTHING"_s, {}),
         m_engine->writePdf(u"b.pdf"_s, u"TEXT"_s, "b@x.com first@x.com\f")});
    QList<QByteArray> saves;
    QList<qsizetype> converted;
    for (const QString &cached : {u"True"_s, u"True"_s, u"True"_s, u"False"_s}) {
        m_settings->write(Settings::resultsCacheKey(), cached);
        const qsizetype before = m_engine->fake->loggedCalls().size();
        press("PushButton9");
        press("PushButton2");
        QTRY_COMPARE(m_modal->shownOf(u"message"_s).size(), saves.size() + 1);
        // The closing message, and nothing of the cache.
        QCOMPARE(m_modal->shown.last().text, u"Done.\r\nThe following files could not be read:\r\n"_s +
                                                 m_window->fileList().text(1) +
                                                 u"  - damaged or not a PDF file."_s);
        converted.append(m_engine->fake->loggedCalls().size() - before);
        QByteArray saved;
        for (const auto &[button, filter] :
             {std::pair{"PushButton3", ResultsController::saveFilters().first()},
              std::pair{"PushButton5", ResultsController::saveFilters().first()},
              std::pair{"PushButton3", ResultsController::csvFilter()}}) {
            const QString path = m_engine->temp.filePath(QString::number(m_modal->shown.size()) + u".txt"_s);
            m_modal->textAnswers.enqueue(path);
            m_modal->filterAnswers.enqueue(filter);
            press(button);
            saved += test::readFile(path);
        }
        saves.append(saved);
    }
    QCOMPARE(converted, (QList<qsizetype>{3, 3, 0, 3}));
    QVERIFY(saves.first().contains("First@x.com\r\nsecond@x.com\r\nb@x.com\r\n"));
    QCOMPARE(saves, QList<QByteArray>(4, saves.first()));
}

void TestRunWindow::unusableCacheIsNamed()
{
    // A file where the cache folder should be: root may write anywhere else.
    const QString folder = m_engine->temp.filePath(u"cache"_s);
    QVERIFY(test::writeFile(folder, "not a folder"));
    m_settings->write(Settings::resultsCacheKey(), u"True"_s);
    m_window->appendPaths({m_engine->writePdf(u"a.pdf"_s, u"TEXT"_s, "a@x.com\f")});
    press("PushButton2");
    QTRY_COMPARE(m_modal->shownOf(u"message"_s).size(), 1);
    QCOMPARE(m_window->resultsList().texts(), QStringList{u"a@x.com"_s});
    const QStringList lines = m_modal->shown.last().text.split(u"\r\n"_s);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.first(), u"Done."_s);
    QVERIFY2(lines.last().startsWith(u"The results cache "_s + ResultsCache::databasePath(folder) +
                                     u" is not used: its folder cannot be made"_s),
             qPrintable(lines.last()));
    QVERIFY(lines.last().endsWith(u"; the run goes on without it."_s));
    QCOMPARE(test::readFile(folder), QByteArray("not a folder"));
}

void TestRunWindow::stopEndsTheReadingOfScans()
{
    const QString text = m_engine->writePdf(u"text.pdf"_s, u"TEXT"_s, "a@x.com\f");
    const QString scan = m_engine->writePdf(u"scan.pdf"_s, u"SCAN HELD"_s, "never@x.com\f");
    m_window->appendPaths({text, scan});
    m_modal->actionAnswers.enqueue(true);
    press("PushButton2");
    QTRY_COMPARE(m_engine->fake->loggedCalls().filter(u"ocr=1"_s).size(), 1);
    QTRY_COMPARE(control<CaptionProgressBar>("ProgressBar1")->caption(),
                 u"Reading scanned pages: scan.pdf (page 1 of 1)"_s);
    QCOMPARE(startButton()->text(), u"Stop Extracting"_s);
    m_engine->clock.advance(600);
    m_modal->yesNoAnswers.enqueue(true);
    press("PushButton2");
    QCOMPARE(m_modal->shownOf(u"yesno"_s).size(), 1);
    QTRY_COMPARE(m_modal->shownOf(u"message"_s).size(), 2);
    QCOMPARE(m_modal->shownOf(u"message"_s).last().text, u"Stopped after 0 of 1 files."_s);
    // The worker reading the scan is ended; the idle ones may stay for the next run.
    QTRY_VERIFY(m_engine->converterGone(scan));
    QVERIFY(m_engine->release(scan)); // too late
    QCOMPARE(m_window->resultsList().texts(), QStringList{u"a@x.com"_s});
    QCOMPARE(startButton()->text(), u"Start Extracting"_s);
    QVERIFY(!m_window->runController().runInProgress());
}

void TestRunWindow::hiddenFilesLeftOutAreCounted()
{
    // As the command does, the closing message counts what the folders added left out.
    const QString folder = m_engine->inputPath(u"docs"_s);
    QVERIFY(QDir().mkpath(folder + u"/.cache"_s));
    m_engine->writePdf(u"docs/a.pdf"_s, u"TEXT"_s, "a@x.com\n");
    m_engine->writePdf(u"docs/.h.pdf"_s, u"TEXT"_s, "h@x.com\n");
    m_engine->writePdf(u"docs/.cache/c.pdf"_s, u"TEXT"_s, "c@x.com\n");
    const auto run = [&] {
        press("PushButton6");
        m_window->appendPaths({folder});
        if (!QTest::qWaitFor([&] { return m_window->fileList().rowCount() > 0; }))
            return u"nothing listed"_s;
        const qsizetype before = m_modal->shownOf(u"message"_s).size();
        press("PushButton2");
        if (!QTest::qWaitFor([&] { return m_modal->shownOf(u"message"_s).size() > before; }))
            return u"no closing message"_s;
        return m_modal->shownOf(u"message"_s).last().text;
    };
    QCOMPARE(run(), u"Done.\r\n2 hidden files or folders (names beginning with \".\") were left out; "_s +
                        RunController::hiddenAction());
    QCOMPARE(m_window->resultsList().texts(), QStringList{u"a@x.com"_s});
    m_settings->write(Settings::hiddenKey(), u"True"_s);
    press("PushButton9");
    QCOMPARE(run(), u"Done."_s);
    QCOMPARE(m_window->resultsList().texts(), (QStringList{u"h@x.com"_s, u"a@x.com"_s, u"c@x.com"_s}));
}

void TestRunWindow::patternsThatAreNoDomainAreSaid()
{
    // One typed into the settings file by hand, which the preferences never showed.
    m_settings->write(Settings::excludeDomainsKey(), u"x.com\nno domain"_s);
    m_window->appendPaths({m_engine->writePdf(u"a.pdf"_s, u"TEXT"_s, "a@x.com b@y.org\f")});
    press("PushButton2");
    QTRY_COMPARE(m_modal->shownOf(u"message"_s).size(), 1);
    QCOMPARE(m_window->resultsList().texts(), QStringList{u"b@y.org"_s});
    QCOMPARE(m_modal->shown.last().text,
             u"Done.\r\n\"no domain\" is no domain pattern: give a domain name such "
             u"as example.com or *.example.com."_s);
}

QTEST_MAIN(TestRunWindow)
#include "tst_runwindow.moc"
