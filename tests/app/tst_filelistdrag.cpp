#include "WindowTest.h"
#include "app/FileListDrag.h"
#include "app/TextListModel.h"

#include <QFile>
#include <QMimeData>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

// Reordering the file list with real mouse events through the window, as a user's
// press, moves and release arrive.
class TestFileListDrag : public test::WindowTest
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void rowTravelsDownAndBack();
    void equalTextsNeverSwap();
    void movesOutsideRowsChangeNothing();
    void pressOnEmptySpaceMovesNothing();
    void removedDragRowDoesNothing();
    void scrollsNearTheListsOwnEdges();
    void dragPointerAndArrow_data();
    void dragPointerAndArrow();
    void startsNoDragAndDrop();

private:
    void fill(const QStringList &rows);
    QPoint rowPoint(int row) const; // in window coordinates
    void pressAt(QPoint position);
    void moveToPoint(QPoint position);
    void press(int row);
    void moveTo(int row);
    void release();
    int selectedRow() const;

    QTreeView *m_list = nullptr;
    QWindow *m_handle = nullptr;
    QPoint m_last;
};

void TestFileListDrag::init()
{
    QVERIFY(setUpParts(false));
    QVERIFY(openWindow(QStringLiteral(PELMORA_ASSETS), [] { return 1; }));
    m_list = m_window->findChild<QTreeView *>(u"ListView1"_s);
    QVERIFY(m_list);
    m_handle = m_window->windowHandle();
}

void TestFileListDrag::cleanup()
{
    if (m_window && m_window->fileListDrag().isDragging())
        release();
    tearDownParts();
}

void TestFileListDrag::fill(const QStringList &rows)
{
    m_window->fileList().clear();
    m_window->fileList().append(rows);
}

QPoint TestFileListDrag::rowPoint(int row) const
{
    const QRect rect = m_list->visualRect(m_window->fileList().index(row));
    return m_list->viewport()->mapTo(m_window.get(), rect.center());
}

void TestFileListDrag::pressAt(QPoint position)
{
    m_last = position;
    QTest::mousePress(m_handle, Qt::LeftButton, {}, position);
}

void TestFileListDrag::moveToPoint(QPoint position)
{
    m_last = position;
    QTest::mouseMove(m_handle, position);
}

void TestFileListDrag::press(int row)
{
    pressAt(rowPoint(row));
}

void TestFileListDrag::moveTo(int row)
{
    moveToPoint(rowPoint(row));
}

void TestFileListDrag::release()
{
    QTest::mouseRelease(m_handle, Qt::LeftButton, {}, m_last);
}

int TestFileListDrag::selectedRow() const
{
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.first().row() : -1;
}

void TestFileListDrag::rowTravelsDownAndBack()
{
    const QStringList start{u"/p/1.pdf"_s, u"/p/2.pdf"_s, u"/p/3.pdf"_s, u"/p/4.pdf"_s, u"/p/5.pdf"_s};
    fill(start);
    press(1);
    QCOMPARE(selectedRow(), 1);
    moveTo(2);
    QCOMPARE(m_window->fileList().texts(),
             (QStringList{u"/p/1.pdf"_s, u"/p/3.pdf"_s, u"/p/2.pdf"_s, u"/p/4.pdf"_s, u"/p/5.pdf"_s}));
    QCOMPARE(selectedRow(), 2);
    moveTo(3);
    moveTo(4);
    QCOMPARE(m_window->fileList().texts(),
             (QStringList{u"/p/1.pdf"_s, u"/p/3.pdf"_s, u"/p/4.pdf"_s, u"/p/5.pdf"_s, u"/p/2.pdf"_s}));
    QCOMPARE(selectedRow(), 4);
    QCOMPARE(m_window->fileList().text(4), u"/p/2.pdf"_s);

    // Back over the rows already passed, without letting go.
    moveTo(3);
    moveTo(2);
    moveTo(1);
    QCOMPARE(m_window->fileList().texts(), start);
    QCOMPARE(selectedRow(), 1);
    release();
    QVERIFY(!m_window->fileListDrag().isDragging());
    QCOMPARE(m_window->fileList().texts(), start);
}

void TestFileListDrag::equalTextsNeverSwap()
{
    fill({u"/p/a.pdf"_s, u"/p/same.pdf"_s, u"/p/same.pdf"_s, u"/p/c.pdf"_s});
    press(1);
    moveTo(2);
    QCOMPARE(m_window->fileList().texts(),
             (QStringList{u"/p/a.pdf"_s, u"/p/same.pdf"_s, u"/p/same.pdf"_s, u"/p/c.pdf"_s}));
    QCOMPARE(selectedRow(), 1); // the row over an equal text does not take the selection
    QCOMPARE(m_window->fileListDrag().dragRow(), 1);
    moveTo(3);
    QCOMPARE(m_window->fileList().texts(),
             (QStringList{u"/p/a.pdf"_s, u"/p/c.pdf"_s, u"/p/same.pdf"_s, u"/p/same.pdf"_s}));
    QCOMPARE(selectedRow(), 3);
    release();
}

void TestFileListDrag::movesOutsideRowsChangeNothing()
{
    const QStringList start{u"/p/1.pdf"_s, u"/p/2.pdf"_s, u"/p/3.pdf"_s};
    fill(start);
    press(0);
    moveTo(0); // over the drag row itself
    const QRect below = m_list->visualRect(m_window->fileList().index(2)).translated(0, 40);
    moveToPoint(m_list->viewport()->mapTo(m_window.get(), below.center()));
    moveToPoint(m_list->mapTo(m_window.get(), QPoint(m_list->width() / 2, -20))); // above the list
    QCOMPARE(m_window->fileList().texts(), start);
    QCOMPARE(selectedRow(), 0);
    release();
}

void TestFileListDrag::pressOnEmptySpaceMovesNothing()
{
    const QStringList start{u"/p/1.pdf"_s, u"/p/2.pdf"_s, u"/p/3.pdf"_s};
    fill(start);
    press(0);
    release();
    // A press below the last row, then over the rows: the file of the last drag stays.
    const QRect below = m_list->visualRect(m_window->fileList().index(2)).translated(0, 40);
    pressAt(m_list->viewport()->mapTo(m_window.get(), below.center()));
    moveTo(2);
    moveTo(1);
    QCOMPARE(m_window->fileList().texts(), start);
    release();
}

void TestFileListDrag::removedDragRowDoesNothing()
{
    fill({u"/p/1.pdf"_s, u"/p/2.pdf"_s, u"/p/3.pdf"_s});
    press(1);
    m_window->fileList().removeRowAt(1);
    moveTo(0);
    QCOMPARE(m_window->fileList().texts(), (QStringList{u"/p/1.pdf"_s, u"/p/3.pdf"_s}));
    QCOMPARE(m_window->fileListDrag().dragRow(), -1);
    release();

    fill({u"/p/1.pdf"_s, u"/p/2.pdf"_s, u"/p/3.pdf"_s});
    press(0);
    m_window->fileList().clear();
    m_window->fileList().append({u"/p/x.pdf"_s, u"/p/y.pdf"_s});
    moveTo(1);
    QCOMPARE(m_window->fileList().texts(), (QStringList{u"/p/x.pdf"_s, u"/p/y.pdf"_s}));
    release();
}

void TestFileListDrag::scrollsNearTheListsOwnEdges()
{
    QStringList rows;
    for (int i = 0; i < 30; ++i)
        rows << u"/p/%1.pdf"_s.arg(i, 2, 10, QChar(u'0'));
    fill(rows);
    QScrollBar *bar = m_list->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);

    // Move the window: the rule goes by the list's edges, wherever it is on the screen.
    m_window->move(300, 200);
    QCoreApplication::processEvents();

    // Onto the lowest row in full view, which lies near the bottom edge: the row below
    // it comes into view.
    const int height = m_list->viewport()->height();
    int lowest = 0;
    while (m_list->visualRect(m_window->fileList().index(lowest + 1)).bottom() < height)
        ++lowest;
    QVERIFY(rowPoint(lowest).y() - m_list->viewport()->mapTo(m_window.get(), QPoint()).y() >= height * 3 / 4);
    press(lowest - 1);
    moveTo(lowest);
    QCOMPARE(m_window->fileList().text(lowest), u"/p/%1.pdf"_s.arg(lowest - 1, 2, 10, QChar(u'0')));
    QVERIFY(bar->value() > 0);
    QVERIFY(m_list->visualRect(m_window->fileList().index(lowest + 1)).bottom() < height);
    release();

    // A row in the middle of the list's height scrolls nothing.
    bar->setValue(0);
    press(1);
    moveTo(2);
    QCOMPARE(bar->value(), 0);
    release();

    // Near the top edge, with rows above out of view, the row above comes into view.
    bar->setValue(10);
    const int top = m_list->indexAt(QPoint(0, 1)).row();
    press(top + 1);
    moveTo(top);
    QVERIFY(m_list->visualRect(m_window->fileList().index(top - 1)).top() >= 0);
    QCOMPARE(bar->value(), 9);
    release();
}

void TestFileListDrag::dragPointerAndArrow_data()
{
    QTest::addColumn<bool>("withIcon");
    QTest::newRow("drag.ico") << true;
    QTest::newRow("no drag.ico") << false;
}

void TestFileListDrag::dragPointerAndArrow()
{
    QFETCH(bool, withIcon);
    QTemporaryDir folder;
    if (withIcon)
        QVERIFY(QFile::copy(QStringLiteral(PELMORA_ASSETS "/drag.ico"), folder.filePath(u"drag.ico"_s)));
    createWindow(folder.path(), [] { return 1; });
    QVERIFY(showWindow());
    m_list = m_window->findChild<QTreeView *>(u"ListView1"_s);
    m_handle = m_window->windowHandle();
    fill({u"/p/1.pdf"_s, u"/p/2.pdf"_s});

    press(0);
    const QCursor dragging = m_list->viewport()->cursor();
    if (withIcon) {
        QCOMPARE(dragging.shape(), Qt::BitmapCursor);
        QCOMPARE(dragging.pixmap().size(), QSize(32, 32));
    } else {
        QCOMPARE(dragging.shape(), Qt::ClosedHandCursor);
    }
    moveTo(1);
    QCOMPARE(m_list->viewport()->cursor().shape(), dragging.shape());
    release();
    QCOMPARE(m_list->viewport()->cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(m_window->fileList().texts(), (QStringList{u"/p/2.pdf"_s, u"/p/1.pdf"_s}));
}

void TestFileListDrag::startsNoDragAndDrop()
{
    // With drags allowed, a started drag would take the moves over from the row handling.
    m_list->setDragDropMode(QAbstractItemView::DragDrop);
    fill({u"/p/1.pdf"_s, u"/p/2.pdf"_s, u"/p/3.pdf"_s});
    press(0);
    moveToPoint(rowPoint(0) + QPoint(40, 4));
    moveTo(1);
    moveTo(2);
    QCOMPARE(m_window->fileList().texts(), (QStringList{u"/p/2.pdf"_s, u"/p/3.pdf"_s, u"/p/1.pdf"_s}));
    QCOMPARE(selectedRow(), 2);
    release();
}

QTEST_MAIN(TestFileListDrag)
#include "tst_filelistdrag.moc"
