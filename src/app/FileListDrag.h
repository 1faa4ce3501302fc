#pragma once

#include <QCursor>
#include <QObject>
#include <QPersistentModelIndex>

#include <functional>

class QTreeView;

class QWidget;

namespace pelmora {

class TextListModel;

// Reordering the file list with the mouse: press on a file, keep the button down and
// move over other rows; the file changes places with each row it passes and stays
// selected. This is the list's own mouse handling, not drag and drop, so drops from
// outside are untouched and nothing is dragged out of the list.
class FileListDrag : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        QTreeView &list;
        TextListModel &files;
        // Shown over the list from a press on a row until the button is released.
        QCursor dragPointer;
        // The window's pointer rule for the list, applied at every move.
        std::function<void()> pointerRule;
    };

    explicit FileListDrag(const Parts &parts, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(FileListDrag)

    bool isDragging() const { return m_dragging; }
    // The row that holds the moved file; invalid when none, or when it was removed.
    int dragRow() const { return m_dragRow.isValid() ? m_dragRow.row() : -1; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QModelIndex rowAt(QPoint position) const;
    void buttonDown(QPoint position);
    void buttonUp();
    void moveOver(QPoint position);
    void scrollNear(QPoint position, int row);

    Parts m_parts;
    // Kept, not asked of the list: events still arrive while the list is being destroyed.
    QWidget *m_viewport = nullptr;
    bool m_dragging = false;
    QPersistentModelIndex m_dragRow;
};

} // namespace pelmora
