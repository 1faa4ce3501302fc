#pragma once

#include <QString>

class QAbstractItemModel;

namespace pelmora {

// The clipboard text of a report-style list, any number of columns: each copied row
// gives, per column, the cell's text padded with spaces to the column's width and a
// TAB, then CR LF. A column's width is its longest text over all rows, copied or not.
// The copied rows are the marked ones (check state of column 0), in list order; when
// no row is marked, every row is copied.
QString ListClipboardText(const QAbstractItemModel &list);

} // namespace pelmora
