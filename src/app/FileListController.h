#pragma once

#include "app/BusyState.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>

class QTreeView;

class QWidget;

namespace pelmora {

class ErrorSink;
class FolderScan;
class Modal;
class Settings;
class TextListModel;

// The file list: adding by dialog, by folder scan and by drop; removing and clearing.
class FileListController : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        TextListModel &files;
        QTreeView &list;
        Modal &modal;
        Settings &settings;
        ErrorSink &errors;
        BusyState &busy;
    };

    explicit FileListController(const Parts &parts, QObject *parent = nullptr);
    ~FileListController() override;
    Q_DISABLE_COPY_MOVE(FileListController)

    // "Add PDF File(s)", "Add All PDF File(s) In Folder", "Clear List".
    void addFiles();
    void addFolder();
    void clearList();
    // A double-click or Delete on the list: the selected row goes, unless busy.
    void removeSelectedRow();
    // Appends dropped paths: folders are walked for all their files, anything else is
    // appended as delivered. Paths dropped during a walk are appended after it.
    void appendDropped(const QStringList &paths);
    // Stops every walk under way at once; nothing more is appended. For closing.
    void abort();
    // A folder walk is under way or waits.
    bool isWalking() const { return !m_pending.isEmpty() || m_scan != nullptr; }
    // The hidden files and folders the walks left out since the list was last cleared.
    qsizetype hiddenLeftOut() const { return m_hiddenLeftOut; }

    static QString tooManyFilesText();

Q_SIGNALS:
    // Rows were added by dialog or scan (or a dialog was cancelled) and the list is not
    // empty: the selected row's preview is due.
    void previewRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A path to append as it is, or a folder to walk (one folder a turn of the event
    // loop, so the window stays responsive) for the files matching `pattern`.
    struct Pending
    {
        QString path;
        QString pattern; // empty: the path itself is appended
        bool showBusy = false;
        bool previewAfter = false;
    };

    void addChosenFiles(const QStringList &chosen);
    void addAll(const QList<Pending> &additions);
    void appendNext(bool preview);
    void reportWalkFailure(const QString &description) const;
    void walkStep();
    void requestPreview();

    Parts m_parts;
    // Kept, not asked of the list: events still arrive while the list is being destroyed.
    QWidget *m_viewport = nullptr;
    QList<Pending> m_pending;
    std::unique_ptr<FolderScan> m_scan;
    Pending m_walking;
    std::unique_ptr<BusyState::Hold> m_busy;
    QTimer m_stepper;
    qsizetype m_hiddenLeftOut = 0;
    bool m_aborted = false;
};

} // namespace pelmora
