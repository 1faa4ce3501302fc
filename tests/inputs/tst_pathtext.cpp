#include "inputs/PathText.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

namespace {

// A dialog result text: parts joined by NUL.
QString result(const QStringList &parts)
{
    return parts.join(QChar(0));
}

} // namespace

class TestPathText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void collapse_data();
    void collapse();
    void rowsFromResult_data();
    void rowsFromResult();
    void resultOfChosenPaths_data();
    void resultOfChosenPaths();
    void resultLimit_data();
    void resultLimit();
};

void TestPathText::collapse_data()
{
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");

    const QChar win = u'\\';
    QTest::newRow("win: two, then three") << win << u"C:\\\\a\\\\\\b"_s << u"C:\\a\\\\b"_s;
    QTest::newRow("win: four leading") << win << u"\\\\\\\\srv\\x"_s << u"\\\\srv\\x"_s;
    QTest::newRow("win: one leading") << win << u"\\x"_s << u"\\\\x"_s;
    QTest::newRow("win: share kept") << win << u"\\\\srv\\share\\docs\\\\x.pdf"_s
                                     << u"\\\\srv\\share\\docs\\x.pdf"_s;
    QTest::newRow("win: drive root") << win << u"C:\\\\a.pdf"_s << u"C:\\a.pdf"_s;
    QTest::newRow("win: only separators") << win << u"\\\\\\"_s << u"\\\\"_s;
    QTest::newRow("win: empty") << win << QString() << QString();

    const QChar posix = u'/';
    QTest::newRow("posix: root and name") << posix << u"//a.pdf"_s << u"/a.pdf"_s;
    QTest::newRow("posix: every run") << posix << u"/home//u///docs////a.pdf"_s << u"/home/u/docs/a.pdf"_s;
    QTest::newRow("posix: no share prefix") << posix << u"////srv/x"_s << u"/srv/x"_s;
    QTest::newRow("posix: relative") << posix << u"docs//a.pdf"_s << u"docs/a.pdf"_s;
    QTest::newRow("posix: backslash is a letter") << posix << u"/a\\\\b"_s << u"/a\\\\b"_s;
    QTest::newRow("posix: root alone") << posix << u"///"_s << u"/"_s;
    QTest::newRow("posix: empty") << posix << QString() << QString();
}

void TestPathText::collapse()
{
    QFETCH(QChar, separator);
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(CollapseBackslashes(path, separator), expected);
}

void TestPathText::rowsFromResult_data()
{
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("rows");

    const QChar win = u'\\';
    QTest::newRow("win: one file unchanged")
        << win << u"C:\\Docs\\a.pdf"_s << QStringList{u"C:\\Docs\\a.pdf"_s};
    QTest::newRow("win: one file not normalised")
        << win << u"C:\\Docs\\\\a.pdf"_s << QStringList{u"C:\\Docs\\\\a.pdf"_s};
    QTest::newRow("win: drive root") << win << result({u"C:\\"_s, u"a.pdf"_s, u"b.pdf"_s})
                                     << QStringList{u"C:\\a.pdf"_s, u"C:\\b.pdf"_s};
    QTest::newRow("win: network folder")
        << win << result({u"\\\\srv\\share\\docs"_s, u"x.pdf"_s, u"y.pdf"_s})
        << QStringList{u"\\\\srv\\share\\docs\\x.pdf"_s, u"\\\\srv\\share\\docs\\y.pdf"_s};

    const QChar posix = u'/';
    QTest::newRow("posix: one file") << posix << u"/docs//a.pdf"_s << QStringList{u"/docs//a.pdf"_s};
    QTest::newRow("posix: root") << posix << result({u"/"_s, u"a.pdf"_s, u"b.pdf"_s})
                                 << QStringList{u"/a.pdf"_s, u"/b.pdf"_s};
    QTest::newRow("posix: folder") << posix << result({u"/home/u/docs"_s, u"x.pdf"_s, u"-y\n.pdf"_s})
                                   << QStringList{u"/home/u/docs/x.pdf"_s, u"/home/u/docs/-y\n.pdf"_s};
    QTest::newRow("cancelled") << posix << QString() << QStringList();
}

void TestPathText::rowsFromResult()
{
    QFETCH(QChar, separator);
    QFETCH(QString, text);
    QFETCH(QStringList, rows);
    QCOMPARE(RowsFromDialogResult(text, separator), rows);
}

void TestPathText::resultOfChosenPaths_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QString>("text");

    QTest::newRow("one file") << QStringList{u"/docs/a.pdf"_s} << u"/docs/a.pdf"_s;
    QTest::newRow("root") << QStringList{u"/a.pdf"_s, u"/b.pdf"_s}
                          << result({u"/"_s, u"a.pdf"_s, u"b.pdf"_s});
    QTest::newRow("one folder") << QStringList{u"/docs/a.pdf"_s, u"/docs/b c.pdf"_s}
                                << result({u"/docs"_s, u"a.pdf"_s, u"b c.pdf"_s});
    // Only a folder boundary counts: "/docs/a" does not hold "/docs/ab".
    QTest::newRow("sibling prefix") << QStringList{u"/docs/ab/x.pdf"_s, u"/docs/a/y.pdf"_s}
                                    << result({u"/docs"_s, u"ab/x.pdf"_s, u"a/y.pdf"_s});
    QTest::newRow("different trees") << QStringList{u"/u/x.pdf"_s, u"/v/w/y.pdf"_s}
                                     << result({u"/"_s, u"u/x.pdf"_s, u"v/w/y.pdf"_s});
    QTest::newRow("nothing chosen") << QStringList() << QString();
}

void TestPathText::resultOfChosenPaths()
{
    QFETCH(QStringList, paths);
    QFETCH(QString, text);
    QCOMPARE(DialogResultText(paths), text);
    // Rows built from the text name the chosen files again.
    QCOMPARE(RowsFromDialogResult(text, u'/'), paths);
    QCOMPARE(RowsForChosenFiles(paths, u'/'), std::optional<QStringList>(paths));
}

void TestPathText::resultLimit_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("nameLength");
    QTest::addColumn<bool>("fits");

    // "/d", then per file one NUL and the name.
    QTest::newRow("exactly the limit") << 2 << 14998 << true;
    QTest::newRow("one over") << 2 << 14999 << false;
    QTest::newRow("999 short names") << 999 << 29 << true;    // 2 + 999 * 30 = 29972
    QTest::newRow("1000 short names") << 1000 << 29 << false; // 30002
}

void TestPathText::resultLimit()
{
    QFETCH(int, files);
    QFETCH(int, nameLength);
    QFETCH(bool, fits);
    QStringList paths;
    for (int i = 0; i < files; ++i) {
        const QString number = QString::number(i);
        paths.append(u"/d/"_s + QString(nameLength - number.size(), u'n') + number);
    }
    const std::optional<QStringList> rows = RowsForChosenFiles(paths, u'/');
    QCOMPARE(rows.has_value(), fits);
    if (fits)
        QCOMPARE(*rows, paths);
}

QTEST_GUILESS_MAIN(TestPathText)
#include "tst_pathtext.moc"
