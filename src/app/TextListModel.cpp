#include "app/TextListModel.h"

#include "extract/AddressRepairs.h"

#include <algorithm>

namespace pelmora {

namespace {

// Said after where an address was found, unless it stood in the page's text.
QString howFound(FoundVia via)
{
    switch (via) {
    case FoundVia::Link:
        return QStringLiteral(" (from a link)");
    case FoundVia::Recognised:
        return QStringLiteral(" (read from a scanned page)");
    case FoundVia::Disguised:
        return QStringLiteral(" (written in disguise)");
    case FoundVia::Annotation:
        return QStringLiteral(" (in a note)");
    case FoundVia::Form:
        return QStringLiteral(" (in a form field)");
    case FoundVia::Metadata:
        return QStringLiteral(" (in the document's metadata)");
    case FoundVia::Attachment:
        return QStringLiteral(" (in an attached file)");
    case FoundVia::Text:
        break;
    }
    return {};
}

// Said last when repairs made the address out of the page's characters.
QString howRepaired(AddressRuleSet repaired)
{
    if (!repaired)
        return {};
    return QStringLiteral("; repaired (") + RepairNames(repaired) + QStringLiteral(")");
}

} // namespace

TextListModel::TextListModel(const QString &header, bool checkable, QObject *parent)
    : QAbstractListModel(parent), m_header(header), m_checkable(checkable)
{
}

int TextListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant TextListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Row &row = m_rows.at(index.row());
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return row.text;
    if (role == Qt::CheckStateRole && m_checkable)
        return row.checked ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::ToolTipRole && !row.file.isEmpty())
        return QString(QStringLiteral("First found in ") + row.file +
                       (row.inside.isEmpty() ? QString() : QStringLiteral(" \u00bb ") + row.inside) +
                       (row.page > 0 ? QStringLiteral(", page ") + QString::number(row.page) : QString()) +
                       howFound(row.via) + howRepaired(row.repaired));
    return {};
}

bool TextListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return false;
    Row &row = m_rows[index.row()];
    if (role == Qt::CheckStateRole && m_checkable)
        row.checked = value.value<Qt::CheckState>() == Qt::Checked;
    else if (role == Qt::EditRole)
        row.text = value.toString();
    else
        return false;
    Q_EMIT dataChanged(index, index, {role});
    return true;
}

Qt::ItemFlags TextListModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractListModel::flags(index);
    if (m_checkable && index.isValid())
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant TextListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_header;
    return QAbstractListModel::headerData(section, orientation, role);
}

void TextListModel::append(const QStringList &texts)
{
    QList<Row> rows;
    rows.reserve(texts.size());
    for (const QString &text : texts)
        rows.append(Row{text, false, {}, 0, {}, FoundVia::Text});
    append(std::move(rows));
}

void TextListModel::append(const QList<AddressSource> &found)
{
    QList<Row> rows;
    rows.reserve(found.size());
    for (const AddressSource &address : found)
        rows.append(Row{address.address, false, address.file, address.page, address.tally, address.via,
                        address.repaired, address.inside});
    append(std::move(rows));
}

void TextListModel::append(QList<Row> rows)
{
    if (rows.isEmpty())
        return;
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    m_rows.append(std::move(rows));
    endInsertRows();
}

void TextListModel::removeRowAt(int row)
{
    if (row < 0 || row >= m_rows.size())
        return;
    beginRemoveRows({}, row, row);
    m_rows.removeAt(row);
    endRemoveRows();
}

void TextListModel::clear()
{
    if (m_rows.isEmpty())
        return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void TextListModel::setText(int row, const QString &text)
{
    setData(index(row), text, Qt::EditRole);
}

QStringList TextListModel::texts() const
{
    QStringList texts;
    texts.reserve(m_rows.size());
    for (const Row &row : m_rows)
        texts.append(row.text);
    return texts;
}

QList<AddressSource> TextListModel::sources() const
{
    QList<AddressSource> sources;
    sources.reserve(m_rows.size());
    for (const Row &row : m_rows)
        sources.append({row.text, row.file, row.page, 0, row.via, row.tally, row.repaired, row.inside});
    return sources;
}

bool TextListModel::contains(const QString &text) const
{
    return std::any_of(m_rows.cbegin(), m_rows.cend(), [&](const Row &row) { return row.text == text; });
}

} // namespace pelmora
