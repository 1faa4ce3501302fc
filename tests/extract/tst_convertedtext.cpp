#include "extract/ConvertedText.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace pelmora;

class TestConvertedText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readability_data();
    void readability();
    void linesEndInEveryWay();
    void wholeFileForDisplay();

private:
    QString write(const QByteArray &bytes);
    QTemporaryDir m_temp;
    int m_files = 0;
};

QString TestConvertedText::write(const QByteArray &bytes)
{
    const QString path = m_temp.filePath(QString::number(++m_files) + u".txt"_s);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

void TestConvertedText::readability_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("unreadable");
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("empty lines only") << "\n\r\n\n"_ba << false;
    QTest::newRow("form feeds only") << "\f\f\f"_ba << true;
    QTest::newRow("page number and form feed") << "12\n\f"_ba << true;
    QTest::newRow("five letters then form feed") << "hello\f"_ba << true;
    QTest::newRow("six letters then form feed") << "helloo\f"_ba << false;
    QTest::newRow("six spread over lines") << "abc\ndef\f\f"_ba << false;
    QTest::newRow("control after the sixth") << "abcdef\x01\x02"_ba << false;
    QTest::newRow("five letters alone") << "hello\n"_ba << false;
    QTest::newRow("TAB is unreadable") << "ab\tcd"_ba << true;
    QTest::newRow("no-break space and accents count") << "\xa0\xe9\xe8\xa0\xe9\xe8\f"_ba << false;
    QTest::newRow("C1 control bytes") << "\x85\x90\x9f"_ba << true;
}

void TestConvertedText::readability()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, unreadable);
    QCOMPARE(IsUnreadableText(text), unreadable);
    QCOMPARE(NoTextPDF(write(text)), unreadable);
}

void TestConvertedText::linesEndInEveryWay()
{
    QCOMPARE(ReadFileToStringFSOLine(write("a\r\nb\rc\nd\n"_ba)), (QList<QByteArray>{"a", "b", "c", "d"}));
    QCOMPARE(ReadFileToStringFSOLine(write("a\n\nb"_ba)), (QList<QByteArray>{"a", "", "b"}));
    QCOMPARE(ReadFileToStringFSOLine(write(QByteArray())), QList<QByteArray>());
    QCOMPARE(ReadFileToStringFSOLine(m_temp.filePath(u"missing.txt"_s)), QList<QByteArray>());
    QVERIFY(!NoTextPDF(m_temp.filePath(u"missing.txt"_s)));
}

void TestConvertedText::wholeFileForDisplay()
{
    QCOMPARE(ReadWholeFile(write("Z\xc3\xbcrich\f\n"_ba)), u"Zürich\f\n"_s);
    // A byte that is not UTF-8 shows as its Latin-1 letter instead of a replacement mark.
    QCOMPARE(ReadWholeFile(write("caf\xe9 and \xc3\xa9t\xe9"_ba)), u"café and été"_s);
    QCOMPARE(ReadWholeFile(m_temp.filePath(u"missing.txt"_s)), QString());
}

QTEST_GUILESS_MAIN(TestConvertedText)
#include "tst_convertedtext.moc"
