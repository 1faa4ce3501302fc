#include "results/ClipboardText.h"

#include <QAbstractTableModel>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

// A report-style list of any width: cells by row, marks on column 0.
class Table : public QAbstractTableModel
{
public:
    Table(QList<QStringList> rows, QList<int> marked) : m_rows(std::move(rows)), m_marked(std::move(marked))
    {
    }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() || m_rows.isEmpty() ? 0 : static_cast<int>(m_rows.first().size());
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::DisplayRole)
            return m_rows.at(index.row()).at(index.column());
        if (role == Qt::CheckStateRole && index.column() == 0)
            return m_marked.contains(index.row()) ? Qt::Checked : Qt::Unchecked;
        return {};
    }

private:
    QList<QStringList> m_rows;
    QList<int> m_marked;
};

QList<QStringList> oneColumn(const QStringList &texts)
{
    QList<QStringList> rows;
    for (const QString &text : texts)
        rows.append({text});
    return rows;
}

} // namespace

class TestClipboardText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void text_data();
    void text();
};

void TestClipboardText::text_data()
{
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QList<int>>("marked");
    QTest::addColumn<QString>("expected");

    const QStringList sixNineSeven{u"a@b.cd"_s, u"abc@de.fg"_s, u"ab@c.de"_s};
    QTest::newRow("6, 9 and 7 characters, all marked") << oneColumn(sixNineSeven) << QList<int>{0, 1, 2}
                                                       << u"a@b.cd   \t\r\nabc@de.fg\t\r\nab@c.de  \t\r\n"_s;
    QTest::newRow("only marked rows, in list order")
        << oneColumn(sixNineSeven) << QList<int>{2, 0} << u"a@b.cd   \t\r\nab@c.de  \t\r\n"_s;
    QTest::newRow("an unmarked longer row sets the width")
        << oneColumn({u"a@b.cd"_s, u"longer@example.com"_s, u"ab@c.de"_s}) << QList<int>{0, 2}
        << u"a@b.cd            \t\r\nab@c.de           \t\r\n"_s;
    QTest::newRow("none marked copies every row")
        << oneColumn(sixNineSeven) << QList<int>{} << u"a@b.cd   \t\r\nabc@de.fg\t\r\nab@c.de  \t\r\n"_s;
    QTest::newRow("one row") << oneColumn({u"x@y.zz"_s}) << QList<int>{} << u"x@y.zz\t\r\n"_s;
    QTest::newRow("no rows") << QList<QStringList>{} << QList<int>{} << QString();
    QTest::newRow("two columns, widths each their own")
        << QList<QStringList>{{u"a"_s, u"xyz"_s}, {u"bcd"_s, u"q"_s}, {u"ef"_s, u"long cell"_s}}
        << QList<int>{0, 1} << u"a  \txyz      \t\r\nbcd\tq        \t\r\n"_s;
    QTest::newRow("an empty column has width 0")
        << QList<QStringList>{{u""_s, u"x"_s}, {u""_s, u"yy"_s}} << QList<int>{} << u"\tx \t\r\n\tyy\t\r\n"_s;
}

void TestClipboardText::text()
{
    QFETCH(QList<QStringList>, rows);
    QFETCH(QList<int>, marked);
    QFETCH(QString, expected);

    const Table table(rows, marked);
    QCOMPARE(ListClipboardText(table), expected);
}

QTEST_GUILESS_MAIN(TestClipboardText)
#include "tst_clipboardtext.moc"
