#include "RunInvariants.h"
#include "WindowTest.h"
#include "app/BusyState.h"
#include "app/CaptionProgressBar.h"
#include "app/PreviewController.h"
#include "app/TextListModel.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <csignal>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

// Clicking the file list shows the selected file in the preview box.
class TestPreviewWindow : public test::WindowTest
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void clickAnywhereShowsTheSelectedFile();
    void nothingToPreview_data();
    void nothingToPreview();
    void clickOnAnEmptyListEmptiesTheBox();
    void asksForAPasswordWhenTicked_data();
    void asksForAPasswordWhenTicked();
    void aSecondClickEndsTheOlderPreview();
    void closingDuringAPreviewLeavesNothingBehind();

private:
    void clickRow(int row);
    void clickEmptySpace();
    // Lets a queued click handler run; a preview started by it is then under way.
    bool startedPreview();
    QByteArray storedSettings() const;
    QTreeView *list() const { return m_window->findChild<QTreeView *>(u"ListView1"_s); }
    QPlainTextEdit *box() const { return m_window->findChild<QPlainTextEdit *>(u"Text2"_s); }
    CaptionProgressBar *bar() const { return m_window->findChild<CaptionProgressBar *>(u"ProgressBar1"_s); }
};

void TestPreviewWindow::init()
{
    QVERIFY(setUpParts());
    QVERIFY(openWindow());
}

void TestPreviewWindow::cleanup()
{
    tearDownParts();
}

void TestPreviewWindow::clickRow(int row)
{
    const QRect rect = list()->visualRect(m_window->fileList().index(row));
    QVERIFY(rect.isValid());
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, rect.center());
}

void TestPreviewWindow::clickEmptySpace()
{
    const QRect viewport = list()->viewport()->rect();
    const QPoint below(viewport.center().x(), viewport.bottom() - 4);
    QVERIFY(!list()->indexAt(below).isValid());
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, below);
}

bool TestPreviewWindow::startedPreview()
{
    QCoreApplication::processEvents();
    return m_window->previewController().isPreviewing();
}

QByteArray TestPreviewWindow::storedSettings() const
{
    QFile file(m_settings->fileName());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

void TestPreviewWindow::clickAnywhereShowsTheSelectedFile()
{
    const QString alpha = m_engine->writePdf(u"alpha.pdf"_s, u"TEXT"_s, "Alpha a@x.com\n\f");
    const QString beta = m_engine->writePdf(u"beta.pdf"_s, u"TEXT"_s, "Beta\n");
    m_window->appendPaths({alpha, beta});
    const QByteArray settingsBefore = storedSettings();
    bar()->setCaption(u"Processing: earlier"_s);

    clickRow(1);
    QVERIFY(startedPreview());
    QVERIFY(m_window->busyState().isBusy());
    QTRY_COMPARE(box()->toPlainText(), u"Beta\n"_s);
    QVERIFY(!m_window->busyState().isBusy());
    QCOMPARE(bar()->caption(), u"Progress Bar"_s);
    QCOMPARE(m_engine->fake->loggedCalls().size(), 1); // the row's own click event converts nothing more
    QVERIFY(m_engine->fake->loggedCalls().first().contains(beta + u" passwords=0 pages=1-100"_s));

    // Empty space below the rows previews the selected row again, as it is now.
    QFile file(beta);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("TEXT\nBeta, changed\n");
    file.close();
    clickEmptySpace();
    QVERIFY(startedPreview());
    QTRY_COMPARE(box()->toPlainText(), u"Beta, changed\n"_s);

    clickRow(0);
    QTRY_COMPARE(box()->toPlainText(), u"Alpha a@x.com\n\f"_s); // the page break as converted
    QCOMPARE(m_engine->fake->loggedCalls().size(), 3);

    // Nothing of it reaches the results, the settings, the disk or the user.
    QCOMPARE(m_window->resultsList().rowCount(), 0);
    QCOMPARE(storedSettings(), settingsBefore);
    QCOMPARE(QDir(m_engine->input.path()).entryList({u"*.txt"_s}), QStringList());
    QVERIFY(m_modal->shown.isEmpty());
}

void TestPreviewWindow::nothingToPreview_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("no row selected") << u"none"_s;
    QTest::newRow("file deleted since listed") << u"deleted"_s;
    QTest::newRow("folder") << u"folder"_s;
    QTest::newRow("hidden file") << u"hidden"_s;
    QTest::newRow("empty row") << u"empty"_s;
}

void TestPreviewWindow::nothingToPreview()
{
    QFETCH(QString, kind);
    const QString good = m_engine->writePdf(u"good.pdf"_s, u"TEXT"_s, "Shown before\n");
    QString other = m_engine->writePdf(u"other.pdf"_s, u"TEXT"_s, "never\n");
    if (kind == u"none"_s) {
        m_window->appendPaths({good});
        clickEmptySpace();
        QVERIFY(!startedPreview());
        QCOMPARE(box()->toPlainText(), QString());
        QCOMPARE(m_engine->fake->loggedCalls().size(), 0);
        return;
    }
    if (kind == u"deleted"_s)
        QFile::remove(other);
    else if (kind == u"folder"_s)
        QVERIFY(QDir().mkdir(other = m_engine->temp.filePath(u"folder.pdf"_s)));
    else if (kind == u"hidden"_s)
        other = m_engine->writePdf(u".hidden.pdf"_s, u"TEXT"_s, "never\n");
    else
        other.clear();
    m_window->fileList().append({good, other}); // as rows: a dropped folder would be walked
    clickRow(0);
    QTRY_COMPARE(box()->toPlainText(), u"Shown before\n"_s);

    clickRow(1);
    QVERIFY(!startedPreview());
    QVERIFY(!m_window->busyState().isBusy());
    QCOMPARE(box()->toPlainText(), u"Shown before\n"_s);
    QCOMPARE(m_engine->fake->loggedCalls().size(), 1);
    QVERIFY(m_modal->shown.isEmpty());
}

void TestPreviewWindow::clickOnAnEmptyListEmptiesTheBox()
{
    m_window->appendPaths({m_engine->writePdf(u"a.pdf"_s, u"TEXT"_s, "Some text\n")});
    clickRow(0);
    QTRY_COMPARE(box()->toPlainText(), u"Some text\n"_s);
    m_window->fileList().clear();
    QCOMPARE(box()->toPlainText(), u"Some text\n"_s); // kept until the next click
    clickEmptySpace();
    QTRY_COMPARE(box()->toPlainText(), QString());
    QCOMPARE(m_engine->fake->loggedCalls().size(), 1);
}

void TestPreviewWindow::asksForAPasswordWhenTicked_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<int>("prompts");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("conversions");
    // Asked only once the file turned out to need a password, then converted again with it.
    QTest::newRow("unticked") << QStringList() << QStringList() << 0 << u"protected"_s << 1;
    QTest::newRow("right password") << QStringList{u"Check1"_s} << QStringList{u" pw "_s} << 1
                                    << u"Opened\n"_s << 2;
    QTest::newRow("blank") << QStringList{u"Check1"_s} << QStringList{QString()} << 1 << u"protected"_s << 1;
    QTest::newRow("cancelled") << QStringList{u"Check1"_s} << QStringList() << 1 << u"protected"_s << 1;
    // Not trimmed: " pw" is wrong.
    QTest::newRow("wrong password") << QStringList{u"Check1"_s} << QStringList{u" pw"_s} << 1
                                    << u"protected"_s << 2;
    // The preview asks per file, whatever option is selected.
    QTest::newRow("same for all selected")
        << QStringList{u"Check1"_s, u"Option6"_s} << QStringList{u" pw "_s} << 1 << u"Opened\n"_s << 2;
}

void TestPreviewWindow::asksForAPasswordWhenTicked()
{
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, answers);
    QFETCH(int, prompts);
    QFETCH(QString, shown);
    QFETCH(int, conversions);
    for (const QString &name : clicks) {
        auto *widget = m_window->findChild<QWidget *>(name);
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(8, widget->height() / 2));
    }
    for (const QString &answer : answers)
        m_modal->textAnswers.enqueue(answer);
    const QString pdf = m_engine->writePdf(u"locked.v1.pdf"_s, u"NEEDS  pw "_s, "Opened\n");
    m_window->appendPaths({pdf});
    clickRow(0);
    QTRY_VERIFY(!m_window->previewController().isPreviewing() && !box()->toPlainText().isEmpty());
    QCOMPARE(box()->toPlainText(),
             shown == u"protected"_s
                 ? u"The file locked.v1 can not be read by this software - password protected."_s
                 : shown);
    QCOMPARE(m_engine->fake->loggedCalls().size(), conversions);
    const QList<test::ScriptedModal::Shown> inputs = m_modal->shownOf(u"input"_s);
    QCOMPARE(inputs.size(), prompts);
    for (const test::ScriptedModal::Shown &input : inputs) {
        QCOMPARE(input.title, u"Input Password"_s);
        QCOMPARE(input.text, u"Enter password for file ("_s + pdf +
                                 u"): \r\nNote: Leave this box blank if file is not password protected"_s);
    }
    if (prompts > 0) {
        clickRow(0); // asked again at the next click
        QVERIFY(startedPreview());
        QTRY_VERIFY(!m_window->previewController().isPreviewing());
        QCOMPARE(m_modal->shownOf(u"input"_s).size(), prompts + 1);
    }
    QCOMPARE(m_modal->shownOf(u"message"_s).size(), 0);
}

void TestPreviewWindow::aSecondClickEndsTheOlderPreview()
{
    const QString slow = m_engine->writePdf(u"slow.pdf"_s, u"SLEEP 60"_s, "Slow\n");
    const QString quick = m_engine->writePdf(u"quick.pdf"_s, u"TEXT"_s, "Quick\n");
    m_window->appendPaths({slow, quick});
    clickRow(0);
    QTRY_COMPARE(m_engine->fake->loggedCalls().size(), 1);
    QVERIFY(m_window->busyState().isBusy());

    clickRow(1);
    QTRY_COMPARE(box()->toPlainText(), u"Quick\n"_s);
    QTRY_VERIFY(m_engine->converterGone(slow));
    QVERIFY(!m_window->busyState().isBusy());
    QVERIFY(!m_window->previewController().isPreviewing());
    QCOMPARE(bar()->caption(), u"Progress Bar"_s);
    QVERIFY(m_modal->shown.isEmpty());
}

void TestPreviewWindow::closingDuringAPreviewLeavesNothingBehind()
{
    m_window->appendPaths({m_engine->writePdf(u"slow.pdf"_s, u"SLEEP 60"_s, "Slow\n")});
    clickRow(0);
    QTRY_COMPARE(m_engine->fake->loggedCalls().size(), 1);
    m_window->close();
    QTRY_VERIFY(m_engine->allConvertersGone());
    QVERIFY(!m_window->busyState().isBusy());
}

QTEST_MAIN(TestPreviewWindow)
#include "tst_previewwindow.moc"
