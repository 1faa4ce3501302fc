#pragma once

#include <QObject>
#include <QStringList>

#include <optional>

class QTreeView;

class QWidget;

namespace pelmora {

class ErrorSink;
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
    };

    explicit FileListController(const Parts &parts, QObject *parent = nullptr);
    ~FileListController() override;
    Q_DISABLE_COPY_MOVE(FileListController)

    void PushButton1_Click();
    void PushButton4_Click();
    void PushButton6_Click();
    void ListView1_DblClick();
    void ListView1_KeyDown(int keyCode);
    // Appends dropped paths: folders are walked for all their files, anything else is
    // appended as delivered.
    void ListView1_OLEDragDrop(const QStringList &paths);
    // Stops every walk under way at once; nothing more is appended. For closing.
    void abort();

    static QString tooManyFilesText();

Q_SIGNALS:
    // Rows were added by dialog or scan (or a dialog was cancelled) and the list is not
    // empty: the selected row's preview is due.
    void previewRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The rows of a folder scan; nullopt when it was stopped.
    std::optional<QStringList> walkedFiles(const QString &folder, const QString &pattern);
    void requestPreview();
    void removeSelectedRow();

    Parts m_parts;
    // Kept, not asked of the list: events still arrive while the list is being destroyed.
    QWidget *m_viewport = nullptr;
    bool m_aborted = false;
};

} // namespace pelmora
