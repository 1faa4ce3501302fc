#pragma once

#include "run/BatchRun.h"

#include <QAbstractListModel>
#include <QList>
#include <QStringList>

namespace pelmora {

// The rows of a one-column list: the file list (full paths) or the results list
// (addresses, each with a check mark the user may tick, and where a run first found
// it, shown as the row's tool tip). Rows are appended in blocks, so tens of thousands of
// them arrive without one update per row.
class TextListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    TextListModel(const QString &header, bool checkable, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void append(const QStringList &texts);
    void append(const QList<AddressSource> &found);
    void removeRowAt(int row);
    void clear();

    QString text(int row) const { return m_rows.at(row).text; }
    void setText(int row, const QString &text);
    bool isChecked(int row) const { return m_rows.at(row).checked; }
    // Where a run first found the row's address; empty and 0 for a row of plain text.
    QString file(int row) const { return m_rows.at(row).file; }
    int page(int row) const { return m_rows.at(row).page; }
    QStringList texts() const;
    // The rows with where they were found; rows that came as plain text have no file.
    QList<AddressSource> sources() const;
    // True when some row's text equals `text` exactly, letter case included.
    bool contains(const QString &text) const;

private:
    struct Row
    {
        QString text;
        bool checked = false;
        QString file;
        int page = 0;
        std::shared_ptr<const SeenAddresses> tally;
        FoundVia via = FoundVia::Text;
        AddressRuleSet repaired = {};
        QString inside = {};
    };
    void append(QList<Row> rows);
    QString m_header;
    bool m_checkable;
    QList<Row> m_rows;
};

} // namespace pelmora
