#pragma once

#include "app/BusyState.h"
#include "run/PasswordPrompt.h"
#include "run/RunRequest.h"

#include <QObject>

#include <functional>
#include <memory>

class QPlainTextEdit;
class QTreeView;
class QWidget;

namespace pelmora {

class CaptionProgressBar;
class Converter;
class ErrorSink;
class Modal;
class Preview;
class TextListModel;

// The preview box under the file list: a click anywhere in the list shows how the
// selected PDF's first 100 pages read to the program.
//
// A click while a preview still converts ends the older one: the newest click decides
// what the box shows. Clicks that stop early (nothing selected, no ordinary file) leave
// a running preview alone, as they leave the box alone.
class PreviewController : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        TextListModel &files;
        QTreeView &list;
        QPlainTextEdit &text;
        CaptionProgressBar &progressBar;
        Modal &modal;
        ErrorSink &errors;
        // The converter of the engine chosen, asked when a preview starts.
        std::function<Converter &()> converter;
        BusyState &busy;
        // Whether the password box says to ask for a password, read at each click.
        std::function<bool()> asksForPassword;
        // The languages a scan's pages are read in; none: WindowScanLanguages().
        std::function<QString()> scanLanguages = {};
        // What is read besides the pages' text; none: notes only.
        std::function<SourceChoices()> sources = {};
    };

    explicit PreviewController(const Parts &parts, QObject *parent = nullptr);
    ~PreviewController() override;
    Q_DISABLE_COPY_MOVE(PreviewController)

    // Also called by the operations that add files, once they have added some.
    void previewSelected();
    bool isPreviewing() const { return m_preview != nullptr; }
    // Ends a preview under way, its converter and text included; the box stays as it is.
    void abort();

Q_SIGNALS:
    // The box has been given a preview's outcome.
    void previewShown();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString selectedPdf() const;
    void askPassword(PasswordPrompt prompt);
    void show(const QString &text);

    Parts m_parts;
    QWidget *m_viewport = nullptr;
    std::unique_ptr<Preview> m_preview;
    std::unique_ptr<BusyState::Hold> m_busy;
};

} // namespace pelmora
