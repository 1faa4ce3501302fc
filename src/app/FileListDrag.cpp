#include "app/FileListDrag.h"

#include "app/TextListModel.h"

#include <QMouseEvent>
#include <QTreeView>

namespace pelmora {

FileListDrag::FileListDrag(const Parts &parts, QObject *parent) : QObject(parent), m_parts(parts)
{
    m_parts.list.setDragEnabled(false);
    m_parts.list.viewport()->setMouseTracking(true);
    m_viewport = m_parts.list.viewport();
    m_viewport->installEventFilter(this);
}

bool FileListDrag::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_viewport)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        buttonDown(static_cast<QMouseEvent *>(event)->position().toPoint());
        return false; // the list still selects the row and reports the click
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent *>(event)->buttons() == Qt::NoButton)
            buttonUp();
        return false;
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (m_parts.pointerRule)
            m_parts.pointerRule();
        if (m_dragging && mouse->buttons() == Qt::NoButton)
            buttonUp(); // the release went elsewhere, say to a window that popped up
        if (!m_dragging)
            return false;
        moveOver(mouse->position().toPoint());
        // Keeps the list's own drag selection, auto-scrolling and drag start out of it.
        return true;
    }
    default:
        return false;
    }
}

// The row at the pointer's height anywhere across the list, so that a pointer right of
// the column still counts.
QModelIndex FileListDrag::rowAt(QPoint position) const
{
    const QWidget *viewport = m_parts.list.viewport();
    if (position.x() < 0 || position.x() >= viewport->width())
        return {};
    return m_parts.list.indexAt(QPoint(0, position.y()));
}

void FileListDrag::buttonDown(QPoint position)
{
    m_dragging = true;
    // A press on empty space starts no drag: the row of an earlier drag stays put.
    const QModelIndex row = rowAt(position);
    m_dragRow = QPersistentModelIndex(row);
    if (row.isValid())
        m_parts.list.viewport()->setCursor(m_parts.dragPointer);
}

void FileListDrag::buttonUp()
{
    m_dragging = false;
    m_parts.list.viewport()->setCursor(Qt::ArrowCursor);
}

void FileListDrag::moveOver(QPoint position)
{
    const QModelIndex hover = rowAt(position);
    // An invalid drag row was removed meanwhile (list cleared, row removed).
    if (!hover.isValid() || !m_dragRow.isValid())
        return;
    const int from = m_dragRow.row();
    const int to = hover.row();
    const QString moved = m_parts.files.text(from);
    const QString other = m_parts.files.text(to);
    if (moved == other)
        return; // also the drag row itself
    m_parts.files.setText(from, other);
    m_parts.files.setText(to, moved);
    m_parts.list.selectionModel()->setCurrentIndex(hover, QItemSelectionModel::ClearAndSelect |
                                                              QItemSelectionModel::Rows);
    m_dragRow = QPersistentModelIndex(hover);
    scrollNear(position, to);
}

// Near the list's top edge the row above comes into view, near its bottom edge the row
// below; a quarter of the visible height counts as near.
void FileListDrag::scrollNear(QPoint position, int row)
{
    const int height = m_parts.list.viewport()->height();
    const int near = height / 4;
    if (position.y() < near && row > 0)
        m_parts.list.scrollTo(m_parts.files.index(row - 1));
    else if (position.y() >= height - near && row + 1 < m_parts.files.rowCount())
        m_parts.list.scrollTo(m_parts.files.index(row + 1));
}

} // namespace pelmora
