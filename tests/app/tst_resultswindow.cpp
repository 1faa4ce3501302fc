#include "TestData.h"
#include "WindowTest.h"
#include "app/BusyState.h"
#include "app/Clipboard.h"
#include "app/TextListModel.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

const QString kCopied =
    u"Results have been copied to the clipboard.\r\rClick a text area where you normally type and "
    u"press Ctrl+V to paste the clipboard."_s;
const QByteArray kOld = QByteArray("an older and much longer file\r\n").repeated(100);

} // namespace

class TestResultsWindow : public test::WindowTest
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void saveWritesTheChosenFile_data();
    void saveWritesTheChosenFile();
    void overwriteIsAskedOnlyForAnExistingFile_data();
    void overwriteIsAskedOnlyForAnExistingFile();
    void cancelWritesNothing();
    void failedSaveIsReportedOnce_data();
    void failedSaveIsReportedOnce();

    void copyPutsPaddedRowsOnTheClipboard_data();
    void copyPutsPaddedRowsOnTheClipboard();
    void copyOfAnEmptyListKeepsTheClipboard();
    void rowsAreTickedInTheView();
    void retryStopsAfterSuccessOrAThousandAttempts();
    void textOfAGivenType();

    void clearEmptiesOnlyTheResults();
    void doubleClickRemovesTheRow();

private:
    QTreeView *resultsView() const;
    QPoint checkBoxCentre(int row) const;
    TextListModel &results() const { return m_window->resultsList(); }
};

void TestResultsWindow::init()
{
    QVERIFY(setUpParts());
    QVERIFY(openWindow());
    QVERIFY(QDir(m_engine->temp.path()).mkdir(u"out"_s));
}

void TestResultsWindow::cleanup()
{
    tearDownParts();
    QGuiApplication::clipboard()->clear();
}

QTreeView *TestResultsWindow::resultsView() const
{
    return m_window->findChild<QTreeView *>(u"ListView2"_s);
}

QPoint TestResultsWindow::checkBoxCentre(int row) const
{
    QTreeView *view = resultsView();
    QStyleOptionViewItem option;
    option.initFrom(view);
    option.rect = view->visualRect(results().index(row));
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    return view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view).center();
}

void TestResultsWindow::saveWritesTheChosenFile_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QByteArray>("expected");

    const QStringList two{u"first@x.com"_s, u"second@x.com"_s};
    QTest::newRow("line list, empty") << QByteArray("PushButton3") << QStringList() << QByteArray();
    QTest::newRow("line list, two rows")
        << QByteArray("PushButton3") << two << QByteArray("first@x.com\r\nsecond@x.com\r\n");
    QTest::newRow("comma list, empty") << QByteArray("PushButton5") << QStringList() << QByteArray("\r\n");
    QTest::newRow("comma list, two rows")
        << QByteArray("PushButton5") << two << QByteArray("first@x.com,second@x.com,\r\n");
}

void TestResultsWindow::saveWritesTheChosenFile()
{
    QFETCH(QByteArray, button);
    QFETCH(QStringList, rows);
    QFETCH(QByteArray, expected);

    results().append(rows);
    results().setData(results().index(0), Qt::Checked, Qt::CheckStateRole); // marks play no part in saving
    const QString path = m_engine->temp.filePath(u"out/results"_s);         // typed without an extension
    m_modal->textAnswers.enqueue(path);
    press(button.constData());

    QCOMPARE(m_modal->shown.size(), 1);
    QCOMPARE(m_modal->shown.first().kind, u"save"_s);
    QCOMPARE(m_modal->shown.first().title, u"Save"_s);
    QCOMPARE(m_modal->shown.first().text, u"Text Files (*.txt);;All Files (*);;CSV with sources (*.csv)"_s);
    QCOMPARE(QDir(m_engine->temp.filePath(u"out"_s)).entryList(QDir::Files | QDir::Hidden),
             QStringList{u"results"_s});
    QCOMPARE(test::readFile(path), expected);
    QVERIFY(!m_window->busyState().isBusy());
}

void TestResultsWindow::overwriteIsAskedOnlyForAnExistingFile_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("line list, Yes") << QByteArray("PushButton3") << true << QByteArray("a@b.cd\r\n");
    QTest::newRow("line list, No") << QByteArray("PushButton3") << false << kOld;
    QTest::newRow("comma list, Yes") << QByteArray("PushButton5") << true << QByteArray("a@b.cd,\r\n");
    QTest::newRow("comma list, No") << QByteArray("PushButton5") << false << kOld;
}

void TestResultsWindow::overwriteIsAskedOnlyForAnExistingFile()
{
    QFETCH(QByteArray, button);
    QFETCH(bool, answer);
    QFETCH(QByteArray, expected);

    results().append({u"a@b.cd"_s});
    const QString path = m_engine->temp.filePath(u"out/old results.txt"_s);
    QVERIFY(test::writeFile(path, kOld));
    m_modal->textAnswers.enqueue(path);
    m_modal->yesNoAnswers.enqueue(answer);
    press(button.constData());

    const auto questions = m_modal->shownOf(u"yesno"_s);
    QCOMPARE(questions.size(), 1);
    QCOMPARE(questions.first().title, u"Pelmora"_s);
    QCOMPARE(questions.first().text, u"Are you sure you wish to overwrite "_s + path + u" ?"_s);
    QCOMPARE(test::readFile(path), expected);
    QCOMPARE(QDir(m_engine->temp.filePath(u"out"_s)).entryList(QDir::Files | QDir::Hidden),
             QStringList{u"old results.txt"_s});
    QVERIFY(m_modal->shownOf(u"message"_s).isEmpty());
}

void TestResultsWindow::cancelWritesNothing()
{
    results().append({u"a@b.cd"_s});
    for (const char *button : {"PushButton3", "PushButton5"})
        press(button); // no answer scripted: the dialog is cancelled
    QCOMPARE(m_modal->shown.size(), 2);
    QCOMPARE(m_modal->shownOf(u"save"_s).size(), 2);
    QCOMPARE(QDir(m_engine->temp.filePath(u"out"_s))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
}

void TestResultsWindow::failedSaveIsReportedOnce_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("relativePath");

    QTest::newRow("line list, missing folder") << QByteArray("PushButton3") << u"out/missing/r.txt"_s;
    QTest::newRow("comma list, missing folder") << QByteArray("PushButton5") << u"out/missing/r.txt"_s;
    QTest::newRow("line list, name of a folder") << QByteArray("PushButton3") << u"out/folder"_s;
    QTest::newRow("comma list, below a file") << QByteArray("PushButton5") << u"out/old.txt/r.txt"_s;
}

void TestResultsWindow::failedSaveIsReportedOnce()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, relativePath);

    QStringList many;
    for (int i = 0; i < 50000; ++i)
        many.append(u"row%1@example.com"_s.arg(i));
    results().append(many);
    QVERIFY(test::writeFile(m_engine->temp.filePath(u"out/old.txt"_s), kOld));
    QVERIFY(QDir(m_engine->temp.filePath(u"out"_s)).mkdir(u"folder"_s));
    const QString path = m_engine->temp.filePath(relativePath);
    m_modal->textAnswers.enqueue(path);
    m_modal->yesNoAnswers.enqueue(true); // the folder "exists": overwrite it, the program says
    press(button.constData());

    const auto messages = m_modal->shownOf(u"message"_s);
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.first().title, u"Application Error"_s);
    QCOMPARE(messages.first().icon, Modal::Icon::Warning);
    QVERIFY2(messages.first().text.startsWith(u"The results could not be saved to "_s + path + u": "_s),
             qPrintable(messages.first().text));
    const QString handler = button == "PushButton3" ? u"PushButton3_Click"_s : u"PushButton5_Click"_s;
    QVERIFY2(messages.first().text.contains(u"\r\nin Pelmora2021/08/31.Form1."_s + handler + u" at line "_s),
             qPrintable(messages.first().text));
    QVERIFY(!m_window->busyState().isBusy());
    QCOMPARE(test::readFile(m_engine->temp.filePath(u"out/old.txt"_s)), kOld);
    QCOMPARE(QDir(m_engine->temp.filePath(u"out"_s))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{u"folder"_s, u"old.txt"_s}));
    QCOMPARE(results().rowCount(), 50000);
}

void TestResultsWindow::copyPutsPaddedRowsOnTheClipboard_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QList<int>>("ticked");
    QTest::addColumn<QString>("expected");

    const QStringList sixNineSeven{u"a@b.cd"_s, u"abc@de.fg"_s, u"ab@c.de"_s};
    QTest::newRow("6, 9 and 7 characters")
        << sixNineSeven << QList<int>{0, 1, 2} << u"a@b.cd   \t\r\nabc@de.fg\t\r\nab@c.de  \t\r\n"_s;
    QTest::newRow("an unticked longer row sets the width")
        << QStringList{u"a@b.cd"_s, u"much.longer@example.com"_s, u"ab@c.de"_s} << QList<int>{0, 2}
        << u"a@b.cd                 \t\r\nab@c.de                \t\r\n"_s;
    QTest::newRow("none ticked copies all")
        << sixNineSeven << QList<int>{} << u"a@b.cd   \t\r\nabc@de.fg\t\r\nab@c.de  \t\r\n"_s;
}

void TestResultsWindow::copyPutsPaddedRowsOnTheClipboard()
{
    QFETCH(QStringList, rows);
    QFETCH(QList<int>, ticked);
    QFETCH(QString, expected);

    QGuiApplication::clipboard()->setText(u"held before"_s);
    results().append(rows);
    for (const int row : ticked)
        QVERIFY(results().setData(results().index(row), Qt::Checked, Qt::CheckStateRole));
    press("PushButton8");

    QCOMPARE(QGuiApplication::clipboard()->text(), expected);
    QCOMPARE(QGuiApplication::clipboard()->mimeData()->formats(), QStringList{u"text/plain"_s});
    QCOMPARE(m_modal->shown.size(), 1);
    QCOMPARE(m_modal->shown.first().title, u"Pelmora"_s);
    QCOMPARE(m_modal->shown.first().text, kCopied);
    QCOMPARE(m_modal->shown.first().icon, Modal::Icon::None);
    QCOMPARE(results().texts(), rows); // copying changes nothing in the list
}

void TestResultsWindow::copyOfAnEmptyListKeepsTheClipboard()
{
    QGuiApplication::clipboard()->setText(u"held before"_s);
    press("PushButton8");
    QCOMPARE(QGuiApplication::clipboard()->text(), u"held before"_s);
    QCOMPARE(m_modal->shown.size(), 1);
    QCOMPARE(m_modal->shown.first().text, kCopied);
}

void TestResultsWindow::rowsAreTickedInTheView()
{
    results().append({u"a@b.cd"_s, u"abc@de.fg"_s, u"ab@c.de"_s});
    QTreeView *view = resultsView();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, checkBoxCentre(2));
    QVERIFY(results().isChecked(2));
    // A click on the text selects the row without ticking it.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(results().index(0)).center());
    QVERIFY(!results().isChecked(0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, checkBoxCentre(1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, checkBoxCentre(1));
    QVERIFY(!results().isChecked(1));

    press("PushButton8");
    QCOMPARE(QGuiApplication::clipboard()->text(), u"ab@c.de  \t\r\n"_s);
}

void TestResultsWindow::retryStopsAfterSuccessOrAThousandAttempts()
{
    int attempts = 0;
    QVERIFY(RetryClipboard([&] { return ++attempts == 5; }));
    QCOMPARE(attempts, 5);
    attempts = 0;
    QVERIFY(!RetryClipboard([&] { return ++attempts < 0; }));
    QCOMPARE(attempts, 1000);
}

void TestResultsWindow::textOfAGivenType()
{
    QVERIFY(SetClipboardText(u"a@b.cd,x@y.zz,"_s, u"text/csv"_s));
    QCOMPARE(QGuiApplication::clipboard()->mimeData()->data(u"text/csv"_s), QByteArray("a@b.cd,x@y.zz,"));
    QVERIFY(SetClipboardText(u"plain"_s));
    QCOMPARE(QGuiApplication::clipboard()->text(), u"plain"_s);
    ClearClipboard();
    const QMimeData *cleared = QGuiApplication::clipboard()->mimeData();
    QVERIFY(!cleared || cleared->formats().isEmpty());
}

void TestResultsWindow::clearEmptiesOnlyTheResults()
{
    press("PushButton9"); // on an empty list: nothing happens, nothing is asked
    QVERIFY(m_modal->shown.isEmpty());

    QGuiApplication::clipboard()->setText(u"held before"_s);
    m_window->appendPaths({u"/some/file.pdf"_s});
    results().append({u"a@b.cd"_s, u"abc@de.fg"_s});
    press("PushButton9");
    QCOMPARE(results().rowCount(), 0);
    QCOMPARE(resultsView()->model()->rowCount(), 0);
    QVERIFY(m_modal->shown.isEmpty());
    QCOMPARE(m_window->fileList().texts(), QStringList{u"/some/file.pdf"_s});
    QCOMPARE(QGuiApplication::clipboard()->text(), u"held before"_s);

    results().append({u"later@run.com"_s}); // a later run adds to the empty list
    QCOMPARE(results().texts(), QStringList{u"later@run.com"_s});
}

void TestResultsWindow::doubleClickRemovesTheRow()
{
    results().append({u"a@b.cd"_s, u"abc@de.fg"_s, u"ab@c.de"_s, u"last@x.com"_s});
    QTreeView *view = resultsView();
    const auto textOf = [&](int row) { return view->visualRect(results().index(row)).center(); };
    // As the desktop delivers it: press, release, then press, double click, release.
    const auto doubleClick = [&](QPoint pos) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, pos);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, pos);
    };

    doubleClick(textOf(1));
    QCOMPARE(results().texts(), (QStringList{u"a@b.cd"_s, u"ab@c.de"_s, u"last@x.com"_s}));

    {
        const BusyState::Hold busy(m_window->busyState());
        doubleClick(textOf(0));
    }
    QCOMPARE(results().rowCount(), 3);

    // A double click on the check box ticks it once and removes nothing.
    doubleClick(checkBoxCentre(2));
    QCOMPARE(results().rowCount(), 3);
    QVERIFY(results().isChecked(2));

    // Below the last row there is nothing to remove.
    const QRect last = view->visualRect(results().index(2));
    QVERIFY(last.bottom() + 20 < view->viewport()->height());
    doubleClick(last.center() + QPoint(0, 3 * last.height()));
    QCOMPARE(results().rowCount(), 3);

    doubleClick(textOf(2));
    doubleClick(textOf(0));
    QCOMPARE(results().texts(), QStringList{u"ab@c.de"_s});
    QVERIFY(m_modal->shown.isEmpty());
}

QTEST_MAIN(TestResultsWindow)
#include "tst_resultswindow.moc"
