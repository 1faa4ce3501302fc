#pragma once

#include "results/ResultsFile.h"

#include <QObject>

class QAbstractItemView;
class QWidget;

namespace pelmora {

class BusyState;
class ErrorSink;
class Modal;
class TextListModel;

// The buttons below the results list: save as line list or comma list (or, chosen in
// the save dialog, as CSV with where each address was found), copy to the clipboard,
// clear; and removal of a row by double-click.
class ResultsController : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        TextListModel &results;
        // The view of `results`, watched for double-clicks.
        QAbstractItemView &view;
        Modal &modal;
        ErrorSink &errors;
        BusyState &busy;
    };

    explicit ResultsController(const Parts &parts, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(ResultsController)

    void saveAsText();
    void saveWithCommas();
    void copyToClipboard();
    void clearResults();

    static QString overwriteQuestion(const QString &path);
    static QString copiedMessage();
    static QString csvFilter();
    static QStringList saveFilters();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The save dialog, the question about overwriting, then the file, for the button
    // `procedure` in the format it stands for (CSV when the dialog's filter says so).
    void saveResults(const QString &procedure, ResultsFormat format);
    void confirmSave(const QString &procedure, const QString &path, ResultsFormat format);
    void save(const QString &procedure, const QString &path, ResultsFormat format);
    // A double-click at `pos` in the view's viewport; true when it removed a row.
    bool removeRowAt(QPoint pos);

    Parts m_parts;
    // Kept, not asked of the view: events still arrive while the view is being destroyed.
    QWidget *m_viewport = nullptr;
};

} // namespace pelmora
