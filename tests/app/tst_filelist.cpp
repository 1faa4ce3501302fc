#include "FolderTree.h"
#include "WindowTest.h"
#include "app/AppTitle.h"
#include "app/BusyState.h"
#include "app/FileListController.h"
#include "app/TextListModel.h"
#include "app/WindowArguments.h"

#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

class TestFileList : public test::WindowTest
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void addByDialog_data();
    void addByDialog();
    void tooManyFilesAddsNothing();
    void addingPreviewsTheSelectedRow();
    void folderScan();
    void folderScanCancelled_data();
    void folderScanCancelled();
    void folderScanYieldsAndStopsWhenClosed();
    void removal_data();
    void removal();
    void dragOfferIsJudged_data();
    void dragOfferIsJudged();
    void dropAppendsFilesAndWalksFolders();
    void dropOfPlainTextAddsNothing();
    void commandLinePathsAreDropped();
    void commandLineSplitsAtDoubleDash_data();
    void commandLineSplitsAtDoubleDash();

private:
    QTreeView *list() const;
    QStringList rows() const { return m_window->fileList().texts(); }
    void select(int row);
    // Drags over the list and tells whether the list would take the drop.
    bool offer(const QMimeData &data, bool thenLeave);

    std::unique_ptr<QSignalSpy> m_previews;
};

void TestFileList::init()
{
    QVERIFY(setUpParts(false));
    createWindow();
    m_previews =
        std::make_unique<QSignalSpy>(&m_window->fileListController(), &FileListController::previewRequested);
    QVERIFY(showWindow());
}

void TestFileList::cleanup()
{
    m_previews.reset();
    tearDownParts();
}

QTreeView *TestFileList::list() const
{
    return m_window->findChild<QTreeView *>(u"ListView1"_s);
}

void TestFileList::select(int row)
{
    list()->selectionModel()->clearSelection();
    if (row >= 0)
        list()->selectionModel()->select(m_window->fileList().index(row),
                                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

bool TestFileList::offer(const QMimeData &data, bool thenLeave)
{
    // As the desktop delivers a drag: moves and the drop go to the widget that accepted
    // the entry, and a leave or a drop ends the drag.
    const QPoint centre = list()->viewport()->rect().center();
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(centre, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list()->viewport(), &enter);
    bool accepted = enter.isAccepted() && enter.dropAction() != Qt::IgnoreAction;
    if (accepted) {
        QDragMoveEvent move(centre + QPoint(1, 1), actions, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list()->viewport(), &move);
        accepted = move.isAccepted() && move.dropAction() != Qt::IgnoreAction;
    }
    if (thenLeave) {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(list()->viewport(), &leave);
    }
    return accepted;
}

void TestFileList::addByDialog_data()
{
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<int>("previews");

    QTest::newRow("one file") << QStringList() << QStringList{u"/Docs/a.pdf"_s}
                              << QStringList{u"/Docs/a.pdf"_s} << 1;
    QTest::newRow("two in the root") << QStringList() << QStringList{u"/a.pdf"_s, u"/b.pdf"_s}
                                     << QStringList{u"/a.pdf"_s, u"/b.pdf"_s} << 1;
    QTest::newRow("odd names, no extension test")
        << QStringList() << QStringList{u"/d/-x\n.pdf"_s, u"/d/\"q\".txt"_s, u"/d/文档"_s}
        << QStringList{u"/d/-x\n.pdf"_s, u"/d/\"q\".txt"_s, u"/d/文档"_s} << 1;
    QTest::newRow("same file again") << QStringList{u"/d/a.pdf"_s} << QStringList{u"/d/a.pdf"_s}
                                     << QStringList{u"/d/a.pdf"_s} << 1;
    QTest::newRow("cancel, empty list") << QStringList() << QStringList() << QStringList() << 0;
    QTest::newRow("cancel, listed rows") << QStringList{u"/d/a.pdf"_s} << QStringList() << QStringList() << 1;
}

void TestFileList::addByDialog()
{
    QFETCH(QStringList, listed);
    QFETCH(QStringList, chosen);
    QFETCH(QStringList, added);
    QFETCH(int, previews);
    m_window->fileList().append(listed);
    if (!chosen.isEmpty())
        m_modal->fileAnswers.enqueue(chosen);
    press("PushButton1");
    QCOMPARE(rows(), listed + added);
    QCOMPARE(m_previews->count(), previews);
    const auto asked = m_modal->shownOf(u"open"_s);
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked[0].title, u"Add File(s) - Hold Ctrl to select multiple files"_s);
    QCOMPARE(asked[0].text, u"PDF Files (*.pdf);;All Files (*)"_s);
    QVERIFY(m_modal->shownOf(u"message"_s).isEmpty());
}

void TestFileList::tooManyFilesAddsNothing()
{
    // "/d", then 1000 times a NUL and 29 letters: 30002 characters.
    QStringList chosen;
    for (int i = 0; i < 1000; ++i)
        chosen.append(u"/d/"_s + u"file-%1.pdf"_s.arg(i, 20, 10, QChar(u'0')));
    m_window->fileList().append({u"/kept.pdf"_s});
    m_modal->fileAnswers.enqueue(chosen);
    press("PushButton1");
    QCOMPARE(rows(), QStringList{u"/kept.pdf"_s});
    const auto messages = m_modal->shownOf(u"message"_s);
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].title, AppTitle());
    QCOMPARE(messages[0].text,
             u"You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button."_s);
    QCOMPARE(messages[0].icon, Modal::Icon::None);
    QCOMPARE(m_previews->count(), 0);

    // One file fewer fits.
    chosen.removeLast();
    m_modal->fileAnswers.enqueue(chosen);
    press("PushButton1");
    QCOMPARE(rows().size(), 1000);
}

void TestFileList::addingPreviewsTheSelectedRow()
{
    tearDownParts();
    QVERIFY(setUpParts(true));
    createWindow();
    m_window->startUp();
    QVERIFY(showWindow());
    const QString first = m_engine->writePdf(u"first.pdf"_s, u"TEXT"_s, "First file\n");
    const QString second = m_engine->writePdf(u"second.pdf"_s, u"TEXT"_s, "Second file\n");
    m_window->fileList().append({first});
    select(0);
    m_modal->fileAnswers.enqueue({second});
    press("PushButton1");
    auto *box = m_window->findChild<QPlainTextEdit *>(u"Text2"_s);
    QVERIFY(box);
    QTRY_COMPARE(box->toPlainText(), u"First file\n"_s);
    QCOMPARE(rows(), (QStringList{first, second}));

    // Into an empty list: the first new file becomes the selected row and is shown.
    press("PushButton6");
    m_modal->fileAnswers.enqueue({second, first});
    press("PushButton1");
    QTRY_COMPARE(box->toPlainText(), u"Second file\n"_s);
}

void TestFileList::folderScan()
{
    test::FolderTree tree;
    QVERIFY(tree.dirs({u"sub"_s, u".hidden"_s}));
    QVERIFY(tree.files({u"a.pdf"_s, u"B.PDF"_s, u"~lock.pdf"_s, u"notes.txt"_s, u".h.pdf"_s, u"sub/c.pdf"_s,
                        u".hidden/h.pdf"_s}));
    m_settings->write(Settings::lastFolderKey(), u"/earlier"_s);
    QList<bool> busyWhileAppending;
    connect(&m_window->fileList(), &QAbstractItemModel::rowsInserted, this,
            [&] { busyWhileAppending.append(m_window->busyState().isBusy()); });
    m_modal->textAnswers.enqueue(tree.root());
    press("PushButton4");

    QTRY_COMPARE(tree.relative(rows()),
                 (QStringList{u"a.pdf"_s, u"B.PDF"_s, u"~lock.pdf"_s, u"sub/c.pdf"_s}));
    const auto asked = m_modal->shownOf(u"folder"_s);
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked[0].title, u"Please select folder:"_s);
    QCOMPARE(asked[0].text, u"/earlier"_s);
    QCOMPARE(m_settings->read(Settings::lastFolderKey(), {}), tree.root());
    QCOMPARE(busyWhileAppending, QList<bool>{true});
    QCOMPARE(m_previews->count(), 1);
    QTRY_VERIFY(!m_window->busyState().isBusy()); // the scan's pointer went, and any preview's

    // The next browse starts there; a second scan appends everything again.
    m_modal->textAnswers.enqueue(tree.root());
    press("PushButton4");
    QCOMPARE(m_modal->shownOf(u"folder"_s).last().text, tree.root());
    QTRY_COMPARE(rows().size(), 8);
    QCOMPARE(rows().mid(4), rows().mid(0, 4));
}

void TestFileList::folderScanCancelled_data()
{
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<int>("previews");
    QTest::newRow("empty list") << QStringList() << 0;
    QTest::newRow("listed rows") << QStringList{u"/d/a.pdf"_s} << 1;
}

void TestFileList::folderScanCancelled()
{
    QFETCH(QStringList, listed);
    QFETCH(int, previews);
    m_window->fileList().append(listed);
    m_settings->write(Settings::lastFolderKey(), u"/earlier"_s);
    press("PushButton4");
    QCOMPARE(rows(), listed);
    QCOMPARE(m_settings->read(Settings::lastFolderKey(), {}), u"/earlier"_s);
    QCOMPARE(m_previews->count(), previews);
}

void TestFileList::folderScanYieldsAndStopsWhenClosed()
{
    test::FolderTree tree;
    for (int i = 0; i < 20; ++i) {
        QVERIFY(tree.dirs({u"f%1"_s.arg(i)}));
        QVERIFY(tree.files({u"f%1/x.pdf"_s.arg(i)}));
    }
    // Something the user does just after choosing the folder: it runs while the walk runs.
    bool ranDuringWalk = false;
    bool busyThen = false;
    qsizetype rowsThen = -1;
    m_modal->whileShown = [&](const test::ScriptedModal::Shown &) {
        QTimer::singleShot(0, m_window.get(), [&] {
            ranDuringWalk = true;
            busyThen = m_window->busyState().isBusy();
            rowsThen = rows().size();
            QTest::keyClick(list(), Qt::Key_Delete); // refused: busy
            m_window->close();
        });
    };
    m_window->fileList().append({u"/kept.pdf"_s});
    select(0);
    m_modal->textAnswers.enqueue(tree.root());
    press("PushButton4");
    QTRY_VERIFY(ranDuringWalk);
    QVERIFY(busyThen);
    QCOMPARE(rowsThen, 1);
    // Closing stopped the walk: nothing more is appended and no preview follows.
    QCOMPARE(rows(), QStringList{u"/kept.pdf"_s});
    QCOMPARE(m_previews->count(), 0);
    QVERIFY(!m_window->busyState().isBusy());
}

void TestFileList::removal_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QStringList>("remaining");
    QTest::addColumn<QStringList>("listed");

    const QStringList all{u"/a.pdf"_s, u"/b.pdf"_s, u"/c.pdf"_s};
    QTest::newRow("double-click") << u"double-click"_s << 1 << false << QStringList{u"/a.pdf"_s, u"/c.pdf"_s}
                                  << all;
    QTest::newRow("Delete") << u"delete"_s << 0 << false << QStringList{u"/b.pdf"_s, u"/c.pdf"_s} << all;
    QTest::newRow("Shift+Delete") << u"shift-delete"_s << 2 << false << QStringList{u"/a.pdf"_s, u"/b.pdf"_s}
                                  << all;
    QTest::newRow("Delete, nothing selected") << u"delete"_s << -1 << false << all << all;
    QTest::newRow("other key") << u"backspace"_s << 1 << false << all << all;
    QTest::newRow("double-click, busy") << u"double-click"_s << 1 << true << all << all;
    QTest::newRow("Delete, busy") << u"delete"_s << 1 << true << all << all;
    QTest::newRow("Clear List") << u"clear"_s << 1 << false << QStringList() << all;
    QTest::newRow("Clear List, busy") << u"clear"_s << 1 << true << all << all;
    // Nothing to remove: nothing happens, no preview and no message.
    for (const char *action : {"delete", "double-click", "clear"})
        QTest::addRow("%s, empty list", action)
            << QString::fromLatin1(action) << -1 << false << QStringList() << QStringList();
}

void TestFileList::removal()
{
    QFETCH(QString, action);
    QFETCH(int, selected);
    QFETCH(bool, busy);
    QFETCH(QStringList, remaining);
    QFETCH(QStringList, listed);
    m_window->fileList().append(listed);
    select(selected);
    std::optional<BusyState::Hold> pointer;
    if (busy)
        pointer.emplace(m_window->busyState());
    if (action == u"double-click"_s) {
        const QRect row = list()->visualRect(m_window->fileList().index(std::max(0, selected)));
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {},
                           row.isValid() ? row.center() : QPoint(10, 10));
    } else if (action == u"delete"_s) {
        QTest::keyClick(list(), Qt::Key_Delete);
    } else if (action == u"shift-delete"_s) {
        QTest::keyClick(list(), Qt::Key_Delete, Qt::ShiftModifier);
    } else if (action == u"backspace"_s) {
        QTest::keyClick(list(), Qt::Key_Backspace);
    } else {
        press("PushButton6");
    }
    QCOMPARE(rows(), remaining);
    if (rows() != listed)
        QVERIFY(list()->selectionModel()->selectedRows().isEmpty()); // nothing else gets selected
    QCOMPARE(m_previews->count(), 0);
    QVERIFY(m_modal->shown.isEmpty());
}

void TestFileList::dragOfferIsJudged_data()
{
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("files") << QList<QUrl>{QUrl::fromLocalFile(u"/d/a.pdf"_s), QUrl::fromLocalFile(u"/d"_s)}
                           << QString() << true;
    QTest::newRow("files among web addresses")
        << QList<QUrl>{QUrl(u"https://example.com/a.pdf"_s), QUrl::fromLocalFile(u"/d/a.pdf"_s)} << QString()
        << true;
    QTest::newRow("web addresses only")
        << QList<QUrl>{QUrl(u"https://example.com/a.pdf"_s)} << QString() << false;
    QTest::newRow("plain text") << QList<QUrl>() << u"/d/a.pdf"_s << false;
}

void TestFileList::dragOfferIsJudged()
{
    QFETCH(QList<QUrl>, urls);
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QMimeData data;
    if (!urls.isEmpty())
        data.setUrls(urls);
    if (!text.isEmpty())
        data.setText(text);
    QCOMPARE(offer(data, true), accepted);
}

void TestFileList::dropAppendsFilesAndWalksFolders()
{
    test::FolderTree tree;
    QVERIFY(tree.dirs({u"A/sub"_s, u"A/.cache"_s, u"B"_s}));
    QVERIFY(tree.files({u"a.pdf"_s, u"A/a.pdf"_s, u"A/b.docx"_s, u"A/~tmp.pdf"_s, u"A/.h.pdf"_s,
                        u"A/sub/x.txt"_s, u"A/.cache/c.pdf"_s, u"B/z"_s}));
    QList<bool> busyWhileAppending;
    connect(&m_window->fileList(), &QAbstractItemModel::rowsInserted, this,
            [&] { busyWhileAppending.append(m_window->busyState().isBusy()); });
    m_window->fileList().append({u"/already.pdf"_s});

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(tree.path(u"not-there.txt"_s)),
                  QUrl::fromLocalFile(tree.path(u"a.pdf"_s)), QUrl(u"https://example.com/remote.pdf"_s),
                  QUrl::fromLocalFile(tree.path(u"A/"_s)), QUrl::fromLocalFile(tree.path(u"B"_s)),
                  QUrl::fromLocalFile(tree.path(u"a.pdf"_s))});
    QVERIFY(offer(data, false));
    QDropEvent drop(list()->viewport()->rect().center(), Qt::CopyAction, &data, Qt::LeftButton,
                    Qt::NoModifier);
    QCoreApplication::sendEvent(list()->viewport(), &drop);
    QVERIFY(drop.isAccepted());

    const QStringList expected{u"not-there.txt"_s, u"a.pdf"_s,       u"A/a.pdf"_s, u"A/b.docx"_s,
                               u"A/~tmp.pdf"_s,    u"A/sub/x.txt"_s, u"B/z"_s,     u"a.pdf"_s};
    QTRY_COMPARE(tree.relative(rows().mid(1)), expected);
    QVERIFY(!busyWhileAppending.contains(true));
    QCOMPARE(m_previews->count(), 0);
}

void TestFileList::dropOfPlainTextAddsNothing()
{
    QMimeData data;
    data.setText(u"/etc/passwd"_s);
    QVERIFY(!offer(data, false));
    QDropEvent drop(list()->viewport()->rect().center(), Qt::CopyAction, &data, Qt::LeftButton,
                    Qt::NoModifier);
    QCoreApplication::sendEvent(list()->viewport(), &drop);
    QVERIFY(!drop.isAccepted());
    QCoreApplication::processEvents();
    QVERIFY(rows().isEmpty());
}

void TestFileList::commandLinePathsAreDropped()
{
    test::FolderTree tree;
    QVERIFY(tree.dirs({u"docs/more"_s}));
    QVERIFY(tree.files({u"docs/a.pdf"_s, u"docs/more/b.txt"_s, u"docs/~x.pdf"_s}));
    m_window->appendPaths({u"relative/as-given.PDF"_s, tree.path(u"docs"_s)});
    QTRY_COMPARE(tree.relative(rows()), (QStringList{u"<outside> relative/as-given.PDF"_s, u"docs/a.pdf"_s,
                                                     u"docs/~x.pdf"_s, u"docs/more/b.txt"_s}));
}

void TestFileList::commandLineSplitsAtDoubleDash_data()
{
    QTest::addColumn<QByteArrayList>("argv");
    QTest::addColumn<int>("toolkit");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("no --") << QByteArrayList{"pelmora", "a.pdf", "-reverse"} << 3 << QStringList();
    // After "--" nothing is the toolkit's, and "--" itself is no row.
    QTest::newRow("options after --")
        << QByteArrayList{"pelmora", "a.pdf", "--", "-reverse", "-style", "b.pdf"} << 2
        << QStringList{u"-reverse"_s, u"-style"_s, u"b.pdf"_s};
    QTest::newRow("a second -- is a file")
        << QByteArrayList{"pelmora", "--", "--"} << 1 << QStringList{u"--"_s};
    QTest::newRow("-- alone") << QByteArrayList{"pelmora", "--"} << 1 << QStringList();
    QTest::newRow("bytes kept") << QByteArrayList{"pelmora", "--", "caf\xe9.pdf"} << 1
                                << QStringList{u"caf"_s + QChar(char16_t(0xDCE9)) + u".pdf"_s};
}

void TestFileList::commandLineSplitsAtDoubleDash()
{
    QFETCH(QByteArrayList, argv);
    QFETCH(int, toolkit);
    QFETCH(QStringList, files);
    std::vector<const char *> pointers;
    for (const QByteArray &argument : std::as_const(argv))
        pointers.push_back(argument.constData());
    const WindowArguments split = SplitWindowArguments(int(pointers.size()), pointers.data());
    QCOMPARE(split.toolkitCount, toolkit);
    QCOMPARE(split.filesAfter, files);
}

QTEST_MAIN(TestFileList)
#include "tst_filelist.moc"
