#pragma once

#include <QObject>
#include <QPoint>

#include <functional>
#include <optional>

class QAction;
class QMenu;
class QTreeView;

namespace pelmora {

class BusyState;
class Modal;
class Settings;
class TextListModel;

// The right-click menus of the file list and the results list, also reached with the
// Menu key or Shift+F10. Each acts on the row under the pointer (a click beside the rows
// leaves only Preferences), or from the keyboard on the current row. Actions are named for tests: openFile,
// showInFolder, removeFile, copyAddress, copyWithSource, openSource, removeAddress, leaveOutDomain,
// preferences.
class ListMenus : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        TextListModel &files;
        QTreeView &fileView;
        TextListModel &results;
        QTreeView &resultsView;
        Modal &modal;
        Settings &settings;
        BusyState &busy;
        // Removes the file list's selected row, as a double-click does.
        std::function<void()> removeSelectedFile;
        std::function<void()> showPreferences;
    };

    explicit ListMenus(const Parts &parts, QObject *parent = nullptr);

    QMenu &fileMenu() const { return *m_fileMenu; }
    QMenu &resultsMenu() const { return *m_resultsMenu; }

    // The clipboard text of "Copy with Source": address, file and page, TAB between, so
    // that a spreadsheet takes them as three cells.
    static QString withSource(const QString &address, const QString &file, int page);
    // Adds the domain of the results row `row` to the patterns left out and removes every
    // row of that domain.
    void leaveOutDomain(int row);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAction *add(QMenu &menu, const char *name, const QString &text, std::function<void()> act);
    // The row the menu is for: the one under `pos` in the viewport, made current, or from
    // the keyboard (no position) the current one; -1 for none.
    static int rowFor(QTreeView &view, std::optional<QPoint> pos);
    void popUp(QTreeView &view, QMenu &menu, std::optional<QPoint> pos);
    void showFileMenu(std::optional<QPoint> pos);
    void showResultsMenu(std::optional<QPoint> pos);

    Parts m_parts;
    QMenu *m_fileMenu = nullptr;
    QMenu *m_resultsMenu = nullptr;
    QList<QAction *> m_fileRowActions;
    QList<QAction *> m_resultsRowActions;
    QAction *m_openSource = nullptr;
    // Each list with its viewport, kept from the start: while a list is destroyed its
    // viewport's last events still come here, and the list can no longer be asked.
    QList<std::pair<QTreeView *, QObject *>> m_watched;
    int m_fileRow = -1;
    int m_resultsRow = -1;
};

} // namespace pelmora
