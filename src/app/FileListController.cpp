#include "app/FileListController.h"

#include "app/AppTitle.h"
#include "app/Modal.h"
#include "app/Settings.h"
#include "app/TextListModel.h"
#include "core/FileHelpers.h"
#include "inputs/FolderWalk.h"
#include "inputs/PathText.h"
#include "run/ErrorTrap.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTreeView>
#include <QUrl>

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

const auto kModule = u"Form1"_s;

} // namespace

FileListController::FileListController(const Parts &parts, QObject *parent) : QObject(parent), m_parts(parts)
{
    m_parts.list.setAcceptDrops(true);
    m_parts.list.viewport()->setAcceptDrops(true);
    m_viewport = m_parts.list.viewport();
    m_viewport->installEventFilter(this);
    m_parts.list.installEventFilter(this);
    m_stepper.setSingleShot(true);
    m_stepper.setInterval(0);
    connect(&m_stepper, &QTimer::timeout, this, &FileListController::walkStep);
}

FileListController::~FileListController() = default;

QString FileListController::tooManyFilesText()
{
    return u"You've selected too many files to add.\r\rPlease try adding via the \"Add All\" button."_s;
}

void FileListController::addFiles()
{
    ErrorTrap trap(m_parts.errors, kModule, u"PushButton1_Click"_s);
    trap.step([&] {
        m_parts.modal.openFileNames(u"Add File(s) - Hold Ctrl to select multiple files"_s,
                                    {u"PDF Files (*.pdf)"_s, u"All Files (*)"_s},
                                    [this](const QStringList &chosen) { addChosenFiles(chosen); });
    });
}

void FileListController::addChosenFiles(const QStringList &chosen)
{
    if (m_aborted)
        return;
    ErrorTrap trap(m_parts.errors, kModule, u"PushButton1_Click"_s);
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

void FileListController::addFolder()
{
    ErrorTrap trap(m_parts.errors, kModule, u"PushButton4_Click"_s);
    trap.step([&] {
        m_parts.modal.existingFolder(
            u"Please select folder:"_s, m_parts.settings.read(Settings::lastFolderKey(), QString()),
            [this](const QString &folder) {
                if (m_aborted)
                    return;
                if (!folder.isEmpty())
                    m_parts.settings.write(Settings::lastFolderKey(), folder);
                addAll({{folder, folder.isEmpty() ? QString() : u"*.pdf"_s, true, true}});
            });
    });
}

void FileListController::clearList()
{
    ErrorTrap trap(m_parts.errors, kModule, u"PushButton6_Click"_s);
    trap.step([&] {
        if (!m_parts.busy.isBusy()) {
            m_parts.files.clear();
            m_hiddenLeftOut = 0;
        }
    });
}

void FileListController::appendDropped(const QStringList &paths)
{
    QList<Pending> additions;
    for (const QString &path : paths)
        additions.append({path, IsFolder(path) ? u"*.*"_s : QString()});
    addAll(additions);
}

void FileListController::abort()
{
    m_aborted = true;
    m_pending.clear();
    m_stepper.stop();
    m_scan.reset();
    m_busy.reset();
}

void FileListController::addAll(const QList<Pending> &additions)
{
    if (m_aborted)
        return;
    const bool idle = !isWalking();
    m_pending += additions;
    if (idle)
        appendNext(false);
}

// Appends what is pending up to the next folder, and starts walking that one. Once all is
// appended, the preview follows when an addition asked for it.
void FileListController::appendNext(bool preview)
{
    QStringList plain;
    while (!m_pending.isEmpty() && !m_scan) {
        const Pending next = m_pending.takeFirst();
        preview = preview || next.previewAfter;
        if (next.pattern.isEmpty()) {
            if (!next.path.isEmpty())
                plain.append(next.path);
            continue;
        }
        m_walking = next;
        WalkHooks hooks;
        hooks.failed = [this](const QString &description) { reportWalkFailure(description); };
        hooks.hidden = m_parts.settings.flag(Settings::hiddenKey(), false);
        m_scan = std::make_unique<FolderScan>(next.pattern, hooks);
        m_scan->start(next.path);
        if (next.showBusy)
            m_busy = std::make_unique<BusyState::Hold>(m_parts.busy);
        m_stepper.start();
    }
    m_parts.files.append(plain);
    if (preview && !m_scan) {
        ErrorTrap trap(m_parts.errors, kModule, u"PushButton4_Click"_s);
        trap.step([&] { requestPreview(); });
    }
}

void FileListController::reportWalkFailure(const QString &description) const
{
    const ErrorTrap walkTrap(m_parts.errors, u"AddFolder"_s, u"GetSubDirectories2016"_s);
    walkTrap.report(description);
}

void FileListController::walkStep()
{
    if (m_scan->step()) {
        m_stepper.start();
        return;
    }
    const QStringList rows = m_scan->takeRows();
    m_hiddenLeftOut += m_scan->hiddenLeftOut();
    m_scan.reset();
    m_parts.files.append(rows);
    m_busy.reset();
    appendNext(m_walking.previewAfter);
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
    if (m_parts.busy.isBusy())
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
                this, [this, paths] { appendDropped(paths); }, Qt::QueuedConnection);
            return true;
        }
        case QEvent::MouseButtonDblClick:
            removeSelectedRow();
            return true;
        default:
            break;
        }
    } else if (watched == &m_parts.list && event->type() == QEvent::KeyPress) {
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Delete) {
            removeSelectedRow();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace pelmora
