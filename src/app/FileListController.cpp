#include "app/FileListController.h"

#include "app/AppTitle.h"
#include "app/BusyPointer.h"
#include "app/Modal.h"
#include "app/Settings.h"
#include "app/TextListModel.h"
#include "core/FileHelpers.h"
#include "inputs/FolderWalk.h"
#include "inputs/PathText.h"
#include "run/ErrorTrap.h"

#include <QCoreApplication>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPointer>
#include <QTreeView>
#include <QUrl>

#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// The local paths a drag offers, in order; remote addresses are not files we can read.
QStringList localFiles(const QMimeData *data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths.append(url.toLocalFile());
    }
    return paths;
}

} // namespace

FileListController::FileListController(const Parts &parts, QObject *parent) : QObject(parent), m_parts(parts)
{
    m_parts.list.setAcceptDrops(true);
    m_parts.list.viewport()->setAcceptDrops(true);
    m_viewport = m_parts.list.viewport();
    m_viewport->installEventFilter(this);
    m_parts.list.installEventFilter(this);
}

FileListController::~FileListController() = default;

QString FileListController::tooManyFilesText()
{
    return u"You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button."_s;
}

void FileListController::PushButton1_Click()
{
    ErrorTrap trap(m_parts.errors, u"Form1"_s, u"PushButton1_Click"_s);
    QStringList chosen;
    trap.step([&] {
        chosen = m_parts.modal.openFileNames(u"Add File(s) - Hold Ctrl to select multiple files"_s,
                                             {u"PDF Files (*.pdf)"_s, u"All Files (*)"_s});
    });
    if (!chosen.isEmpty()) {
        std::optional<QStringList> rows;
        trap.step([&] { rows = RowsForChosenFiles(chosen); });
        if (!rows) {
            trap.step([&] { m_parts.modal.showMessage(AppTitle(), tooManyFilesText()); });
            return;
        }
        trap.step([&] { m_parts.files.append(*rows); });
    }
    trap.step([&] { requestPreview(); });
}

void FileListController::PushButton4_Click()
{
    ErrorTrap trap(m_parts.errors, u"Form1"_s, u"PushButton4_Click"_s);
    m_parts.settings.write(Settings::extensionKey(), u"pdf"_s);
    QString folder;
    trap.step([&] {
        folder = m_parts.modal.existingFolder(u"Please select folder:"_s,
                                              m_parts.settings.read(Settings::lastFolderKey(), QString()));
    });
    if (!folder.isEmpty()) {
        m_parts.settings.write(Settings::lastFolderKey(), folder);
        const QPointer<FileListController> alive(this);
        BusyPointer busy;
        std::optional<QStringList> rows;
        trap.step([&] { rows = walkedFiles(folder, u"*.pdf"_s); });
        if (!alive || m_aborted)
            return; // the window closed meanwhile: the walk was stopped
        if (rows)
            trap.step([&] { m_parts.files.append(*rows); });
    }
    trap.step([&] { requestPreview(); });
}

void FileListController::PushButton6_Click()
{
    ErrorTrap trap(m_parts.errors, u"Form1"_s, u"PushButton6_Click"_s);
    trap.step([&] {
        if (!BusyPointer::isBusy())
            m_parts.files.clear();
    });
}

void FileListController::ListView1_DblClick()
{
    removeSelectedRow();
}

void FileListController::ListView1_KeyDown(int keyCode)
{
    if (keyCode == Qt::Key_Delete)
        removeSelectedRow();
}

void FileListController::ListView1_OLEDragDrop(const QStringList &paths)
{
    const QPointer<FileListController> alive(this);
    QStringList plain;
    for (const QString &path : paths) {
        if (!IsFolder(path)) {
            plain.append(path);
            continue;
        }
        m_parts.files.append(plain);
        plain.clear();
        const std::optional<QStringList> rows = walkedFiles(path, u"*.*"_s);
        if (!alive || !rows)
            return;
        m_parts.files.append(*rows);
    }
    m_parts.files.append(plain);
}

void FileListController::abort()
{
    m_aborted = true;
}

std::optional<QStringList> FileListController::walkedFiles(const QString &folder, const QString &pattern)
{
    if (m_aborted)
        return std::nullopt;
    const QPointer<FileListController> alive(this);
    ErrorTrap walkTrap(m_parts.errors, u"AddFolder"_s, u"GetSubDirectories2016"_s);
    WalkHooks hooks;
    // The window stays responsive: its events are handled once per folder, and closing it
    // stops the walk.
    hooks.progress = [this, alive](const QString &) {
        QCoreApplication::processEvents();
        return alive && !m_aborted;
    };
    hooks.failed = [&walkTrap, alive](const QString &description) {
        if (alive)
            walkTrap.report(description);
    };
    FolderScan scan(pattern, std::move(hooks));
    QStringList rows = scan.filesIn(folder);
    if (!alive || scan.stopped())
        return std::nullopt;
    return rows;
}

void FileListController::requestPreview()
{
    if (m_parts.files.rowCount() == 0)
        return;
    // A list that has just been filled shows its first file, as a list with a current row does.
    if (!m_parts.list.selectionModel()->hasSelection())
        m_parts.list.setCurrentIndex(m_parts.files.index(0));
    Q_EMIT previewRequested();
}

void FileListController::removeSelectedRow()
{
    if (BusyPointer::isBusy())
        return;
    const QModelIndexList selected = m_parts.list.selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    m_parts.files.removeRowAt(selected.first().row());
}

bool FileListController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_viewport) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            if (localFiles(drag->mimeData()).isEmpty()) {
                drag->setDropAction(Qt::IgnoreAction);
                drag->ignore();
            } else {
                drag->acceptProposedAction();
            }
            return true;
        }
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            const QStringList paths = localFiles(drop->mimeData());
            if (paths.isEmpty()) {
                drop->ignore();
                return true;
            }
            drop->acceptProposedAction();
            // The walk yields to the event loop; the drag source is released first.
            QMetaObject::invokeMethod(
                this, [this, paths] { ListView1_OLEDragDrop(paths); }, Qt::QueuedConnection);
            return true;
        }
        case QEvent::MouseButtonDblClick:
            ListView1_DblClick();
            return true;
        default:
            break;
        }
    } else if (watched == &m_parts.list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Delete) {
            ListView1_KeyDown(key);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace pelmora
