#include "results/ClipboardText.h"

#include <QAbstractItemModel>
#include <QList>
#include <QStringList>

#include <algorithm>
#include <numeric>

namespace pelmora {

QString ListClipboardText(const QAbstractItemModel &list)
{
    const int rows = list.rowCount();
    const int columns = list.columnCount();
    if (rows <= 0 || columns <= 0)
        return {};

    // Every cell read once; the widths need all rows before any text is built.
    QList<QString> cells;
    cells.reserve(qsizetype(rows) * columns);
    QList<qsizetype> widths(columns, 0);
    QList<int> marked;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            QString text = list.index(row, column).data(Qt::DisplayRole).toString();
            widths[column] = std::max(widths[column], text.size());
            cells.append(std::move(text));
        }
        if (list.index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked)
            marked.append(row);
    }
    if (marked.isEmpty()) {
        marked.resize(rows);
        std::iota(marked.begin(), marked.end(), 0);
    }

    qsizetype lineLength = 2;
    for (const qsizetype width : widths)
        lineLength += width + 1;
    QString text;
    text.reserve(lineLength * marked.size());
    for (const int row : marked) {
        for (int column = 0; column < columns; ++column) {
            const QString &cell = cells.at(qsizetype(row) * columns + column);
            text += cell;
            text.resize(text.size() + widths.at(column) - cell.size(), u' ');
            text += u'\t';
        }
        text += QStringView(u"\r\n");
    }
    return text;
}

} // namespace pelmora
