#include "app/ListMenus.h"

#include "app/BusyState.h"
#include "app/Clipboard.h"
#include "app/Modal.h"
#include "app/Settings.h"
#include "app/TextListModel.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

QString domainOf(const QString &address)
{
    return address.sliced(address.lastIndexOf(u'@') + 1).toLower();
}

} // namespace

ListMenus::ListMenus(const Parts &parts, QObject *parent) : QObject(parent), m_parts(parts)
{
    m_fileMenu = new QMenu(&m_parts.fileView);
    m_fileMenu->setObjectName(u"fileMenu"_s);
    m_fileRowActions = {
        add(*m_fileMenu, "openFile", u"&Open"_s,
            [this] { m_parts.modal.openPath(m_parts.files.text(m_fileRow)); }),
        add(*m_fileMenu, "showInFolder", u"Show in &Folder"_s,
            [this] { m_parts.modal.showInFolder(m_parts.files.text(m_fileRow)); }),
        add(*m_fileMenu, "removeFile", u"&Remove"_s, [this] { m_parts.removeSelectedFile(); })};
    m_fileMenu->addSeparator();
    add(*m_fileMenu, "preferences", u"&Preferences…"_s, [this] { m_parts.showPreferences(); });

    m_resultsMenu = new QMenu(&m_parts.resultsView);
    m_resultsMenu->setObjectName(u"resultsMenu"_s);
    m_resultsRowActions = {
        add(*m_resultsMenu, "copyAddress", u"&Copy"_s,
            [this] { SetClipboardText(m_parts.results.text(m_resultsRow)); }),
        add(*m_resultsMenu, "copyWithSource", u"Copy with &Source"_s,
            [this] {
                const TextListModel &results = m_parts.results;
                SetClipboardText(withSource(results.text(m_resultsRow), results.file(m_resultsRow),
                                            results.page(m_resultsRow)));
            }),
        m_openSource = add(*m_resultsMenu, "openSource", u"&Open File Where First Found"_s,
                           [this] { m_parts.modal.openPath(m_parts.results.file(m_resultsRow)); }),
        add(*m_resultsMenu, "removeAddress", u"&Remove"_s,
            [this] {
                if (!m_parts.busy.isBusy())
                    m_parts.results.removeRowAt(m_resultsRow);
            }),
        add(*m_resultsMenu, "leaveOutDomain", u"&Leave Out This Domain"_s,
            [this] { leaveOutDomain(m_resultsRow); })};
    m_resultsMenu->addSeparator();
    add(*m_resultsMenu, "preferences", u"&Preferences…"_s, [this] { m_parts.showPreferences(); });

    for (QTreeView *view : {&m_parts.fileView, &m_parts.resultsView}) {
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
        m_watched.append({view, view->viewport()});
    }
}

bool ListMenus::eventFilter(QObject *watched, QEvent *event)
{
    QTreeView *view = nullptr;
    for (const auto &[list, viewport] : std::as_const(m_watched)) {
        if (watched == list || watched == viewport)
            view = list;
    }
    if (!view)
        return QObject::eventFilter(watched, event);
    const auto show = [&](std::optional<QPoint> pos) {
        if (view == &m_parts.fileView)
            showFileMenu(pos);
        else
            showResultsMenu(pos);
        return true;
    };
    if (event->type() == QEvent::ContextMenu) {
        const auto *asked = static_cast<QContextMenuEvent *>(event);
        if (asked->reason() != QContextMenuEvent::Mouse)
            return show(std::nullopt);
        const auto *widget = static_cast<QWidget *>(watched);
        return show(view->viewport()->mapFrom(widget, asked->pos()));
    }
    // The Menu key comes as a context menu event from some platforms and as a key from
    // others; Shift+F10 only as a key.
    if (watched == view && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool menuKey = key->key() == Qt::Key_Menu && key->modifiers() == Qt::NoModifier;
        const bool shiftF10 = key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier;
        if (menuKey || shiftF10)
            return show(std::nullopt);
    }
    return QObject::eventFilter(watched, event);
}

QAction *ListMenus::add(QMenu &menu, const char *name, const QString &text, std::function<void()> act)
{
    QAction *action = menu.addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, [act = std::move(act)] { act(); });
    return action;
}

QString ListMenus::withSource(const QString &address, const QString &file, int page)
{
    if (file.isEmpty())
        return address;
    return address + u'\t' + file + u'\t' + QString::number(page);
}

void ListMenus::leaveOutDomain(int row)
{
    if (m_parts.busy.isBusy() || row < 0 || row >= m_parts.results.rowCount())
        return;
    const QString domain = domainOf(m_parts.results.text(row));
    Settings &settings = m_parts.settings;
    if (!settings.domainPatterns(Settings::excludeDomainsKey()).contains(domain, Qt::CaseInsensitive)) {
        QString patterns = settings.read(Settings::excludeDomainsKey(), {});
        if (!patterns.isEmpty() && !patterns.endsWith(u'\n'))
            patterns += u'\n';
        settings.write(Settings::excludeDomainsKey(), patterns + domain);
    }
    for (int other = m_parts.results.rowCount() - 1; other >= 0; --other) {
        if (domainOf(m_parts.results.text(other)) == domain)
            m_parts.results.removeRowAt(other);
    }
}

int ListMenus::rowFor(QTreeView &view, std::optional<QPoint> pos)
{
    if (!pos)
        return view.currentIndex().isValid() ? view.currentIndex().row() : -1;
    const QModelIndex index = view.indexAt(*pos);
    if (index.isValid())
        view.setCurrentIndex(index);
    return index.isValid() ? index.row() : -1;
}

void ListMenus::popUp(QTreeView &view, QMenu &menu, std::optional<QPoint> pos)
{
    // From the keyboard the menu opens at the row it is for, or the list's corner.
    const QModelIndex current = view.currentIndex();
    const QPoint at = pos ? *pos : current.isValid() ? view.visualRect(current).center() : QPoint(0, 0);
    menu.popup(view.viewport()->mapToGlobal(at));
}

void ListMenus::showFileMenu(std::optional<QPoint> pos)
{
    m_fileRow = rowFor(m_parts.fileView, pos);
    for (QAction *action : std::as_const(m_fileRowActions))
        action->setEnabled(m_fileRow >= 0);
    popUp(m_parts.fileView, *m_fileMenu, pos);
}

void ListMenus::showResultsMenu(std::optional<QPoint> pos)
{
    m_resultsRow = rowFor(m_parts.resultsView, pos);
    const bool row = m_resultsRow >= 0;
    for (QAction *action : std::as_const(m_resultsRowActions))
        action->setEnabled(row);
    m_openSource->setEnabled(row && !m_parts.results.file(m_resultsRow).isEmpty());
    popUp(m_parts.resultsView, *m_resultsMenu, pos);
}

} // namespace pelmora
