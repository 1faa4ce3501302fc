#include "app/ResultsController.h"

#include "app/AppTitle.h"
#include "app/BusyState.h"
#include "app/Clipboard.h"
#include "app/Modal.h"
#include "app/TextListModel.h"
#include "core/FileHelpers.h"
#include "run/ErrorTrap.h"

#include <QAbstractItemView>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionViewItem>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

// True when `pos` is on the row's check box, where a quick second click belongs to
// the check box and must not remove the row.
bool onCheckBox(const QAbstractItemView &view, const QModelIndex &index, QPoint pos)
{
    if (!(index.flags() & Qt::ItemIsUserCheckable))
        return false;
    QStyleOptionViewItem option;
    option.initFrom(&view);
    option.widget = &view;
    option.rect = view.visualRect(index);
    option.font = view.font();
    option.fontMetrics = view.fontMetrics();
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = index.data(Qt::DisplayRole).toString();
    option.checkState = static_cast<Qt::CheckState>(index.data(Qt::CheckStateRole).toInt());
    return view.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &view).contains(pos);
}

} // namespace

ResultsController::ResultsController(const Parts &parts, QObject *parent) : QObject(parent), m_parts(parts)
{
    m_viewport = m_parts.view.viewport();
    m_viewport->installEventFilter(this);
}

QString ResultsController::overwriteQuestion(const QString &path)
{
    return u"Are you sure you wish to overwrite "_s + path + u" ?"_s;
}

QString ResultsController::copiedMessage()
{
    return u"Results have been copied to the clipboard.\r\r"
           u"Click a text area where you normally type and press Ctrl+V to paste the clipboard."_s;
}

void ResultsController::saveAsText()
{
    saveResults(u"PushButton3_Click"_s, ResultsFormat::LineList);
}

void ResultsController::saveWithCommas()
{
    saveResults(u"PushButton5_Click"_s, ResultsFormat::CommaList);
}

void ResultsController::saveResults(const QString &procedure, ResultsFormat format)
{
    ErrorTrap trap(m_parts.errors, u"Form1"_s, procedure);
    trap.step([&] {
        m_parts.modal.saveFileName(
            u"Save"_s, saveFilters(), [this, procedure, format](const QString &path, const QString &filter) {
                confirmSave(procedure, path, filter == csvFilter() ? ResultsFormat::Csv : format);
            });
    });
}

void ResultsController::confirmSave(const QString &procedure, const QString &path, ResultsFormat format)
{
    if (path.isEmpty())
        return;
    if (!FileExists(path))
        return save(procedure, path, format);
    m_parts.modal.askYesNo(AppTitle(), overwriteQuestion(path), [this, procedure, path, format](bool yes) {
        if (yes)
            save(procedure, path, format);
    });
}

void ResultsController::save(const QString &procedure, const QString &path, ResultsFormat format)
{
    ErrorTrap trap(m_parts.errors, u"Form1"_s, procedure);
    // The whole file is built and written in one go, so the list cannot change meanwhile,
    // and a failure is one report, not one per row. The pointer is back before it is shown.
    trap.step([&] {
        const BusyState::Hold busy(m_parts.busy);
        SaveResults(path, m_parts.results.sources(), format);
    });
}

QString ResultsController::csvFilter()
{
    return u"CSV with sources (*.csv)"_s;
}

QStringList ResultsController::saveFilters()
{
    return {u"Text Files (*.txt)"_s, u"All Files (*)"_s, csvFilter()};
}

void ResultsController::copyToClipboard()
{
    ErrorTrap trap(m_parts.errors, u"Form1"_s, u"PushButton8_Click"_s);
    trap.step([&] { ListToClipboard(m_parts.results); });
    trap.step([&] { m_parts.modal.showMessage(AppTitle(), copiedMessage()); });
}

void ResultsController::clearResults()
{
    ErrorTrap trap(m_parts.errors, u"Form1"_s, u"PushButton9_Click"_s);
    trap.step([&] { m_parts.results.clear(); });
}

bool ResultsController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_viewport && event->type() == QEvent::MouseButtonDblClick) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && removeRowAt(mouse->position().toPoint()))
            return true;
    }
    return QObject::eventFilter(watched, event);
}

bool ResultsController::removeRowAt(QPoint pos)
{
    if (m_parts.busy.isBusy())
        return false;
    const QModelIndex index = m_parts.view.indexAt(pos);
    if (!index.isValid() || onCheckBox(m_parts.view, index, pos))
        return false;
    m_parts.results.removeRowAt(index.row());
    return true;
}

} // namespace pelmora
