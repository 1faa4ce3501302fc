#include "app/PreviewController.h"

#include "app/CaptionProgressBar.h"
#include "app/Modal.h"
#include "app/TextListModel.h"
#include "core/FileHelpers.h"
#include "run/ErrorTrap.h"
#include "run/PasswordPrompt.h"
#include "run/Preview.h"

#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;

namespace pelmora {

namespace {

const auto kModule = u"Form1"_s;
const auto kProcedure = u"ListView1_Click"_s;

} // namespace

PreviewController::PreviewController(const Parts &parts, QObject *parent) : QObject(parent), m_parts(parts)
{
    // QTreeView::clicked comes only for rows (that is ListView1_ItemClick, which prepares
    // row dragging); the preview wants every click in the list, empty space included.
    m_viewport = m_parts.list.viewport();
    m_viewport->installEventFilter(this);
}

PreviewController::~PreviewController() = default;

bool PreviewController::eventFilter(QObject *watched, QEvent *event)
{
    // The type first: the list may be half destroyed when its last events come.
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
        type != QEvent::MouseButtonRelease)
        return QObject::eventFilter(watched, event);
    if (watched != m_viewport)
        return QObject::eventFilter(watched, event);
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const QPoint at = mouse->position().toPoint();
    if (type == QEvent::MouseButtonRelease) {
        if (mouse->button() == Qt::LeftButton && m_viewport->rect().contains(at))
            // After the list has handled the release, and outside the mouse handling,
            // since the password prompt waits for the user.
            QMetaObject::invokeMethod(this, &PreviewController::previewSelected, Qt::QueuedConnection);
        return false;
    }
    if (!m_parts.list.indexAt(at).isValid()) {
        // The list would drop its selection here; keeping it lets a click on empty
        // space preview the row the user sees selected.
        m_parts.list.setFocus(Qt::MouseFocusReason);
        return true;
    }
    return false;
}

QString PreviewController::selectedPdf() const
{
    const QModelIndexList rows = m_parts.list.selectionModel()->selectedRows();
    if (rows.isEmpty() || rows.first().row() >= m_parts.files.rowCount())
        return {};
    return m_parts.files.text(rows.first().row());
}

void PreviewController::previewSelected()
{
    ErrorTrap trap(m_parts.errors, kModule, kProcedure);
    if (m_parts.files.rowCount() == 0) {
        abort();
        m_parts.text.clear();
        return;
    }
    QString pdf;
    trap.step([&] { pdf = selectedPdf(); });
    // Nothing selected, or no file to convert: the box keeps what it showed, no message.
    if (pdf.isEmpty() || !IsOrdinaryFile(pdf))
        return;

    abort();
    m_busy = std::make_unique<BusyState::Hold>(m_parts.busy);
    trap.step([&] {
        m_preview = std::make_unique<Preview>(m_parts.converter(), pdf, m_parts.asksForPassword);
        if (m_parts.scanLanguages)
            m_preview->setScanLanguages(m_parts.scanLanguages());
        m_preview->setSources(m_parts.sources ? m_parts.sources() : SourceChoices());
        CaptionProgressBar &bar = m_parts.progressBar;
        connect(m_preview.get(), &Preview::captionChanged, &bar, &CaptionProgressBar::setCaption);
        connect(m_preview.get(), &Preview::valueChanged, &bar,
                [&bar](int value) { bar.setValue(std::clamp(value, bar.minimum(), bar.maximum())); });
        connect(m_preview.get(), &Preview::passwordNeeded, this, &PreviewController::askPassword);
        connect(m_preview.get(), &Preview::finished, this, &PreviewController::show);
        connect(m_preview.get(), &Preview::stopped, this, [this] {
            m_preview.release()->deleteLater(); // its own signal: let it return first
            m_busy.reset();
        });
        m_preview->start();
    });
    if (!m_preview)
        m_busy.reset();
}

// Asked only when the file needs it, and only when the box says to ask.
void PreviewController::askPassword(PasswordPrompt prompt)
{
    const QPointer<Preview> asking(m_preview.get());
    m_parts.modal.inputPassword(PasswordPromptTitle(), PasswordPromptText(prompt, asking->pdf()),
                                [asking](const std::optional<QString> &password) {
                                    if (asking)
                                        asking->answer(password);
                                });
}

void PreviewController::show(const QString &text)
{
    // The signal comes from the preview itself; let it return before it goes.
    m_preview.release()->deleteLater();
    m_busy.reset();
    m_parts.text.setPlainText(text);
    Q_EMIT previewShown();
}

void PreviewController::abort()
{
    if (m_preview) {
        m_preview->cancel();
        m_preview.reset();
    }
    m_busy.reset();
}

} // namespace pelmora
