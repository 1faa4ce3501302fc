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
        // The view of `results` (ListView2), watched for double-clicks.
        QAbstractItemView &view;
        Modal &modal;
        ErrorSink &errors;
        BusyState &busy;
    };

    explicit ResultsController(const Parts &parts, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(ResultsController)

    void PushButton3_Click();
    void PushButton5_Click();
    void PushButton8_Click();
    void PushButton9_Click();

    static QString OverwriteQuestion(const QString &path);
    static QString CopiedMessage();
    static QString CsvFilter();
    static QStringList SaveFilters();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The save dialog, the question about overwriting, then the file, for the button
    // `procedure` in the format it stands for (CSV when the dialog's filter says so).
    void saveResults(const QString &procedure, ResultsFormat format);
    void confirmSave(const QString &procedure, const QString &path, ResultsFormat format);
    void save(const QString &procedure, const QString &path, ResultsFormat format);
    // A double-click at `pos` in the view's viewport; true when it removed a row.
    bool ListView2_DblClick(QPoint pos);

    Parts m_parts;
    // Kept, not asked of the view: events still arrive while the view is being destroyed.
    QWidget *m_viewport = nullptr;
};

} // namespace pelmora
